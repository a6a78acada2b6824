<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Wobblescope</source>
        <translation>Wobblescope</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>The plain camera picture, no effect</source>
        <translation>Das unveränderte Kamerabild, ohne Effekt</translation>
    </message>
    <message>
        <source>Wave Warp</source>
        <translation>Zeitwelle</translation>
    </message>
    <message>
        <source>Ripples of time roll across the picture</source>
        <translation>Wellen der Zeit laufen über das Bild</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Belichtung</translation>
    </message>
    <message>
        <source>A long exposure: moving things leave soft ghosts</source>
        <translation>Langzeitbelichtung: Bewegtes hinterlässt weiche Schemen</translation>
    </message>
    <message>
        <source>Motion Trace</source>
        <translation>Bewegungsspur</translation>
    </message>
    <message>
        <source>Only what moves shows, as bright traces</source>
        <translation>Nur Bewegtes erscheint, als helle Spur</translation>
    </message>
    <message>
        <source>Motion Delay</source>
        <translation>Verzögerung</translation>
    </message>
    <message>
        <source>Moving parts lag behind the rest</source>
        <translation>Bewegte Teile hinken dem Rest hinterher</translation>
    </message>
    <message>
        <source>Time Scatter</source>
        <translation>Zeitstreuung</translation>
    </message>
    <message>
        <source>Every spot shows a random moment of the last two seconds</source>
        <translation>Jede Stelle zeigt einen zufälligen Augenblick der letzten zwei Sekunden</translation>
    </message>
    <message>
        <source>Motion Paint</source>
        <translation>Bewegungsmalerei</translation>
    </message>
    <message>
        <source>Movement paints the picture over a still background</source>
        <translation>Bewegung malt das Bild über einen ruhenden Hintergrund</translation>
    </message>
    <message>
        <source>Full Size</source>
        <translation>Volle Größe</translation>
    </message>
    <message>
        <source>Process the camera picture at full resolution instead of half</source>
        <translation>Das Kamerabild in voller statt halber Auflösung verarbeiten</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Record what is shown into a movie file</source>
        <translation>Das Gezeigte in eine Filmdatei aufnehmen</translation>
    </message>
    <message>
        <source>Camera frames per second</source>
        <translation>Kamerabilder pro Sekunde</translation>
    </message>
    <message>
        <source>fps</source>
        <translation>B/s</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Effect</source>
        <translation>&amp;Effekt</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Mirror</source>
        <translation>Spiegeln</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>error_msg</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Error in Wobblescope</source>
        <translation>Fehler in Wobblescope</translation>
    </message>
    <message>
        <source>error code</source>
        <translation>Fehlercode</translation>
    </message>
    <message>
        <source>memory allocation for sourceFrames</source>
        <translation>Speicherzuteilung für sourceFrames</translation>
    </message>
    <message>
        <source>memory allocation for fBuffer</source>
        <translation>Speicherzuteilung für fBuffer</translation>
    </message>
    <message>
        <source>memory allocation for sourceFrames[0 ..]</source>
        <translation>Speicherzuteilung für sourceFrames[0 ..]</translation>
    </message>
    <message>
        <source>memory allocation for hnalalaaxc</source>
        <translation>Speicherzuteilung für hnalalaaxc</translation>
    </message>
    <message>
        <source>create large NSBitmapImageRep</source>
        <translation>Großes Ausgabebild anlegen (NSBitmapImageRep)</translation>
    </message>
    <message>
        <source>create small NSBitmapImageRep</source>
        <translation>Kleines Ausgabebild anlegen (NSBitmapImageRep)</translation>
    </message>
</context>
</TS>
