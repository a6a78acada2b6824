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
        <source>480 lines</source>
        <translation>480 Zeilen</translation>
    </message>
    <message>
        <source>720 lines</source>
        <translation>720 Zeilen</translation>
    </message>
    <message>
        <source>1080 lines</source>
        <translation>1080 Zeilen</translation>
    </message>
    <message>
        <source>camera&apos;s own</source>
        <translation>eigene der Kamera</translation>
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
    <message>
        <source>Save Picture</source>
        <translation>Bild speichern</translation>
    </message>
    <message>
        <source>Save the picture as shown to your pictures folder</source>
        <translation>Das Bild, wie es zu sehen ist, im Bilder-Ordner speichern</translation>
    </message>
    <message>
        <source>Schedule running</source>
        <translation>Zeitplan läuft</translation>
    </message>
    <message>
        <source>The effects change by themselves (Effect &gt; Effect Schedule...)</source>
        <translation>Die Effekte wechseln von selbst (Effekt &gt; Effektplan...)</translation>
    </message>
    <message>
        <source>A movie is being recorded</source>
        <translation>Ein Film wird aufgenommen</translation>
    </message>
    <message>
        <source>Countdown Before Saving</source>
        <translation>Countdown vor dem Speichern</translation>
    </message>
    <message>
        <source>Count three seconds down over the picture before saving it</source>
        <translation>Vor dem Speichern drei Sekunden über dem Bild herunterzählen</translation>
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
        <source>There is not enough free memory for pictures of this size.</source>
        <translation>Für Bilder dieser Größe ist nicht genug Speicher frei.</translation>
    </message>
    <message>
        <source>create large NSBitmapImageRep</source>
        <translation>Großes Ausgabebild anlegen (NSBitmapImageRep)</translation>
    </message>
    <message>
        <source>create small NSBitmapImageRep</source>
        <translation>Kleines Ausgabebild anlegen (NSBitmapImageRep)</translation>
    </message>
    <message>
        <source>Cannot create new file</source>
        <translation>Neue Datei kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>FSPathMakeRef</source>
        <translation>FSPathMakeRef</translation>
    </message>
    <message>
        <source>FSGetCatalogInfo</source>
        <translation>FSGetCatalogInfo</translation>
    </message>
    <message>
        <source>CreateMovieFile</source>
        <translation>CreateMovieFile</translation>
    </message>
    <message>
        <source>NewMovieTrack for Video</source>
        <translation>NewMovieTrack für Video</translation>
    </message>
    <message>
        <source>NewTrackMedia for Video</source>
        <translation>NewTrackMedia für Video</translation>
    </message>
    <message>
        <source>BeginMediaEdits for Video</source>
        <translation>BeginMediaEdits für Video</translation>
    </message>
    <message>
        <source>SCCompressSequenceBegin</source>
        <translation>SCCompressSequenceBegin</translation>
    </message>
    <message>
        <source>SCCompressSequenceFrame</source>
        <translation>SCCompressSequenceFrame</translation>
    </message>
    <message>
        <source>AddMediaSample for Video</source>
        <translation>AddMediaSample für Video</translation>
    </message>
    <message>
        <source>SCCompressSequenceEnd for Video</source>
        <translation>SCCompressSequenceEnd für Video</translation>
    </message>
    <message>
        <source>EndMediaEdits for Video</source>
        <translation>EndMediaEdits für Video</translation>
    </message>
    <message>
        <source>InsertMediaIntoTrack for Video</source>
        <translation>InsertMediaIntoTrack für Video</translation>
    </message>
    <message>
        <source>AddMovieResource</source>
        <translation>AddMovieResource</translation>
    </message>
    <message>
        <source>CloseMovieFile</source>
        <translation>CloseMovieFile</translation>
    </message>
    <message>
        <source>The disk is full.</source>
        <translation>Der Datenträger ist voll.</translation>
    </message>
    <message>
        <source>The disk quota is used up.</source>
        <translation>Das Speicherkontingent ist aufgebraucht.</translation>
    </message>
    <message>
        <source>The movie file has reached the largest size allowed.</source>
        <translation>Die Filmdatei hat die größte erlaubte Größe erreicht.</translation>
    </message>
    <message>
        <source>The folder of the movie was removed.</source>
        <translation>Der Ordner des Films wurde entfernt.</translation>
    </message>
    <message>
        <source>The disk is read-only.</source>
        <translation>Der Datenträger ist schreibgeschützt.</translation>
    </message>
    <message>
        <source>The movie&apos;s folder may not be written.</source>
        <translation>In den Ordner des Films darf nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>The memory is used up.</source>
        <translation>Der Arbeitsspeicher ist erschöpft.</translation>
    </message>
    <message>
        <source>The disk could not be written.</source>
        <translation>Der Datenträger konnte nicht beschrieben werden.</translation>
    </message>
    <message>
        <source>Writing the movie failed: %1.</source>
        <translation>Das Schreiben des Films ist fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>The recording was stopped; no picture could be kept.</source>
        <translation>Die Aufnahme wurde beendet; kein Bild konnte behalten werden.</translation>
    </message>
    <message>
        <source>No picture of the recording could be kept.</source>
        <translation>Kein Bild der Aufnahme konnte behalten werden.</translation>
    </message>
    <message>
        <source>The recording was stopped; the picture recorded so far is in %2.</source>
        <translation>Die Aufnahme wurde beendet; das bisher aufgenommene Bild ist in %2.</translation>
    </message>
    <message>
        <source>The picture recorded is in %2.</source>
        <translation>Das aufgenommene Bild ist in %2.</translation>
    </message>
    <message>
        <source>The recording was stopped; the %1 pictures recorded so far are in %2.</source>
        <translation>Die Aufnahme wurde beendet; die %1 bisher aufgenommenen Bilder sind in %2.</translation>
    </message>
    <message>
        <source>The %1 pictures recorded are in %2.</source>
        <translation>Die %1 aufgenommenen Bilder sind in %2.</translation>
    </message>
    <message>
        <source>The compressor refused the picture; another compressor (File &gt; Compression Settings) may take it.</source>
        <translation>Der Kompressor hat das Bild abgelehnt; ein anderer Kompressor (Datei &gt; Kompressionseinstellungen) nimmt es vielleicht.</translation>
    </message>
    <message>
        <source>setup_rec_frame_pixmap</source>
        <translation>setup_rec_frame_pixmap</translation>
    </message>
    <message>
        <source>OpenDefaultComponent</source>
        <translation>OpenDefaultComponent</translation>
    </message>
    <message>
        <source>SCDefaultPixMapSettings</source>
        <translation>SCDefaultPixMapSettings</translation>
    </message>
    <message>
        <source>SCSetInfo scSpatialSettingsType in create_video_compressor</source>
        <translation>SCSetInfo scSpatialSettingsType in create_video_compressor</translation>
    </message>
    <message>
        <source>SCSetInfo scTemporalSettingsType in create_video_compressor</source>
        <translation>SCSetInfo scTemporalSettingsType in create_video_compressor</translation>
    </message>
    <message>
        <source>SCNewGWorld</source>
        <translation>SCNewGWorld</translation>
    </message>
    <message>
        <source>SCSetTestImagePixMap</source>
        <translation>SCSetTestImagePixMap</translation>
    </message>
    <message>
        <source>SCRequestImageSettings</source>
        <translation>SCRequestImageSettings</translation>
    </message>
    <message>
        <source>SCGetInfo for spatial settings</source>
        <translation>SCGetInfo für die räumlichen Einstellungen</translation>
    </message>
    <message>
        <source>no camera found</source>
        <translation>keine Kamera gefunden</translation>
    </message>
    <message>
        <source>not a video device</source>
        <translation>kein Videogerät</translation>
    </message>
    <message>
        <source>has no video stream</source>
        <translation>hat keinen Videostrom</translation>
    </message>
    <message>
        <source>has no decoder for its video</source>
        <translation>für sein Video fehlt ein Decoder</translation>
    </message>
    <message>
        <source>cannot read the stream information</source>
        <translation>die Strominformationen lassen sich nicht lesen</translation>
    </message>
    <message>
        <source>cannot set up the video decoder</source>
        <translation>der Videodecoder lässt sich nicht einrichten</translation>
    </message>
    <message>
        <source>cannot open the video decoder</source>
        <translation>der Videodecoder lässt sich nicht öffnen</translation>
    </message>
    <message>
        <source>video has no picture size</source>
        <translation>das Video hat keine Bildgröße</translation>
    </message>
</context>
<context>
    <name>EffectSchedule</name>
    <message>
        <source>Effect Schedule...</source>
        <translation>Effektplan...</translation>
    </message>
</context>
<context>
    <name>ScheduleSheet</name>
    <message>
        <source>Effect Schedule</source>
        <translation>Effektplan</translation>
    </message>
    <message>
        <source>Each effect is shown for its number of seconds, in this order. Rows of 0 seconds are skipped.</source>
        <translation>Jeder Effekt wird so viele Sekunden lang gezeigt wie angegeben, in dieser Reihenfolge. Zeilen mit 0 Sekunden werden übersprungen.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ScheduleTableModel</name>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Seconds</source>
        <translation>Sekunden</translation>
    </message>
</context>
<context>
    <name>FullScreen</name>
    <message>
        <source>STOP</source>
        <translation>STOPP</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>How to return back...</source>
        <translation>So geht es zurück...</translation>
    </message>
    <message>
        <source>Control+Click, then you can select STOP from a popup menu.</source>
        <translation>Control+Klick, dann können Sie STOPP in einem Kontextmenü wählen.</translation>
    </message>
    <message>
        <source>I see.</source>
        <translation>Verstanden.</translation>
    </message>
</context>
<context>
    <name>Controller</name>
    <message>
        <source>Compression Settings...</source>
        <translation>Kompressionseinstellungen ...</translation>
    </message>
    <message>
        <source>QuickTime Movie (*.mov)</source>
        <translation>QuickTime-Film (*.mov)</translation>
    </message>
    <message>
        <source>Movie Recording</source>
        <translation>Filmaufnahme</translation>
    </message>
    <message>
        <source>Filename: </source>
        <translation>Dateiname: </translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>There is no picture to save yet.</source>
        <translation>Es gibt noch kein Bild zum Speichern.</translation>
    </message>
    <message>
        <source>The picture could not be saved to %1.</source>
        <translation>Das Bild konnte nicht in %1 gespeichert werden.</translation>
    </message>
    <message>
        <source>Picture saved to %1</source>
        <translation>Bild gespeichert unter %1</translation>
    </message>
    <message>
        <source>● Recording %1</source>
        <translation>● Aufnahme %1</translation>
    </message>
    <message>
        <source>&amp;Camera</source>
        <translation>&amp;Kamera</translation>
    </message>
    <message>
        <source>Demo Scene</source>
        <translation>Demoszene</translation>
    </message>
    <message>
        <source>Open Video File...</source>
        <translation>Videodatei öffnen ...</translation>
    </message>
    <message>
        <source>Use Demo Scene</source>
        <translation>Demoszene verwenden</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Open Video File</source>
        <translation>Videodatei öffnen</translation>
    </message>
    <message>
        <source>Videos (*.mp4 *.mov *.mkv *.avi *.webm *.nut *.ts);;All Files (*)</source>
        <translation>Videos (*.mp4 *.mov *.mkv *.avi *.webm *.nut *.ts);;Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>RecordingOptions</name>
    <message>
        <source>Compressor:</source>
        <translation>Kompressor:</translation>
    </message>
</context>
<context>
    <name>CompressionDialog</name>
    <message>
        <source>Compression Settings</source>
        <translation>Kompressionseinstellungen</translation>
    </message>
    <message>
        <source>Compressor</source>
        <translation>Kompressor</translation>
    </message>
    <message>
        <source>Compression type:</source>
        <translation>Kompressionsart:</translation>
    </message>
    <message>
        <source>Quality:</source>
        <translation>Qualität:</translation>
    </message>
    <message>
        <source>Key frame every</source>
        <translation>Schlüsselbild alle</translation>
    </message>
    <message>
        <source>frames</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Test image</source>
        <translation>Testbild</translation>
    </message>
    <message>
        <source>Current picture</source>
        <translation>Aktuelles Bild</translation>
    </message>
    <message>
        <source>Compressed</source>
        <translation>Komprimiert</translation>
    </message>
    <message>
        <source>Least</source>
        <translation>Minimal</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Best</source>
        <translation>Maximal</translation>
    </message>
    <message>
        <source>Lossless</source>
        <translation>Verlustfrei</translation>
    </message>
    <message>
        <source>%1 (&apos;%2&apos;)</source>
        <translation>%1 (&apos;%2&apos;)</translation>
    </message>
    <message>
        <source>Photo-JPEG</source>
        <translation>Foto-JPEG</translation>
    </message>
    <message>
        <source>H.264</source>
        <translation>H.264</translation>
    </message>
    <message>
        <source>Apple ProRes 422</source>
        <translation>Apple ProRes 422</translation>
    </message>
    <message>
        <source>Animation</source>
        <translation>Animation</translation>
    </message>
    <message>
        <source>PNG</source>
        <translation>PNG</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Ohne</translation>
    </message>
    <message>
        <source>%1 KB per frame</source>
        <translation>%1 KB pro Bild</translation>
    </message>
    <message>
        <source>The test image cannot be compressed this way (error %1).</source>
        <translation>Das Testbild lässt sich so nicht komprimieren (Fehler %1).</translation>
    </message>
</context>
<context>
    <name>MyMovieView</name>
    <message>
        <source>Camera disconnected — waiting for it to come back</source>
        <translation>Kamera getrennt — warte, bis sie wieder da ist</translation>
    </message>
</context>
<context>
    <name>VirtualCamera</name>
    <message>
        <source>Virtual Camera</source>
        <translation>Virtuelle Kamera</translation>
    </message>
    <message>
        <source>Virtual camera</source>
        <translation>Virtuelle Kamera</translation>
    </message>
    <message>
        <source>Another program is showing the virtual camera</source>
        <translation>Ein anderes Programm zeigt die virtuelle Kamera</translation>
    </message>
    <message>
        <source>No PipeWire daemon is reachable, so there is no virtual camera.</source>
        <translation>Kein PipeWire-Dienst ist erreichbar, daher gibt es keine virtuelle Kamera.</translation>
    </message>
    <message>
        <source>Writes the picture to %1</source>
        <translation>Schreibt das Bild nach %1</translation>
    </message>
    <message>
        <source>Offers the picture as the camera &quot;Wobblescope&quot; to other programs</source>
        <translation>Bietet das Bild anderen Programmen als Kamera „Wobblescope“ an</translation>
    </message>
</context>
</TS>
