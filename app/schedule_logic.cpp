// SPDX-License-Identifier: MIT
#include "schedule_logic.h"

#include <QSettings>
#include <climits>
#include <cmath>

namespace {

constexpr int kDefaultSeconds = 10;
constexpr int kMatrixColumns = 3;

int clamp_to_int(long double v) {
    if (v >= static_cast<long double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<long double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

int leading_int(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long v = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (v <= static_cast<long long>(INT_MAX) + 1) v = v * 10 + (text[i].unicode() - u'0');
    }
    return clamp_to_int(negative ? -v : v);
}

// The effect index of a stored row: a whole number (or a text holding only one) in range.
bool stored_effect_index(const QVariant& v, qsizetype effectCount, int* index) {
    bool ok = false;
    long long k = 0;
    if (v.typeId() == QMetaType::QString) {
        k = v.toString().trimmed().toLongLong(&ok);
    } else if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        const double d = v.toDouble();
        ok = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e9;
        if (ok) k = static_cast<long long>(d);
    } else if (v.canConvert<long long>() && v.typeId() != QMetaType::QVariantList &&
               v.typeId() != QMetaType::QStringList && v.typeId() != QMetaType::Bool) {
        k = v.toLongLong(&ok);
    }
    if (!ok || k < 0 || k >= effectCount) return false;
    *index = static_cast<int>(k);
    return true;
}

}  // namespace

int int_value(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QString:
            return leading_int(value.toString());
        case QMetaType::QByteArray:
            return leading_int(QString::fromUtf8(value.toByteArray()));
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            return std::isnan(d) ? 0 : clamp_to_int(std::trunc(static_cast<long double>(d)));
        }
        case QMetaType::Bool:
            return value.toBool() ? 1 : 0;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            return clamp_to_int(static_cast<long double>(value.toLongLong()));
        case QMetaType::ULongLong:
            return clamp_to_int(static_cast<long double>(value.toULongLong()));
        default:
            return 0;
    }
}

QList<ScheduleRow> default_schedule(qsizetype effectCount) {
    QList<ScheduleRow> rows;
    for (qsizetype i = 0; i < effectCount; ++i) {
        rows.append({static_cast<int>(i), QVariant(kDefaultSeconds)});
    }
    return rows;
}

QList<ScheduleRow> schedule_from_stored(const QVariant& stored, qsizetype effectCount) {
    const int id = stored.typeId();
    if (id != QMetaType::QVariantList && id != QMetaType::QStringList) {
        return default_schedule(effectCount);
    }
    QList<ScheduleRow> rows;
    for (const QVariant& entry : stored.toList()) {
        if (rows.size() == effectCount) break;
        const int entryId = entry.typeId();
        if (entryId != QMetaType::QVariantList && entryId != QMetaType::QStringList) continue;
        const QVariantList fields = entry.toList();
        int effect = 0;
        if (fields.size() < 2 || !stored_effect_index(fields[0], effectCount, &effect)) continue;
        const QVariant& duration = fields[1];
        // A nested list or other non-scalar duration has no integer value: keep it as 0 seconds.
        const bool scalar = duration.typeId() != QMetaType::QVariantList &&
                            duration.typeId() != QMetaType::QStringList &&
                            duration.typeId() != QMetaType::QVariantMap;
        rows.append({effect, scalar ? duration : QVariant(0)});
    }
    if (rows.size() < effectCount) return default_schedule(effectCount);
    return rows;
}

QList<ScheduleRow> read_timer_array(const QSettings& settings, qsizetype effectCount) {
    if (!settings.contains(QStringLiteral("TimerArray"))) return default_schedule(effectCount);
    return schedule_from_stored(settings.value(QStringLiteral("TimerArray")), effectCount);
}

int EffectSchedule::durationOf(int row) const {
    if (row < 0 || row >= timerTableArray.size()) return 0;
    return int_value(timerTableArray[row].duration);
}

int EffectSchedule::effectOf(int row) const {
    if (row < 0 || row >= timerTableArray.size()) return 0;
    return timerTableArray[row].effect;
}

int EffectSchedule::prepareSheet(int selectedRow) {
    if (selectedRow < 0) timerIndex = 0;
    timerCounter = durationOf(timerIndex);
    return timerIndex;
}

void EffectSchedule::startFromRow(int selectedRow, EffectControls& controls) {
    timerIndex = selectedRow < 0 || selectedRow >= rowCount() ? 0 : selectedRow;
    adjustModeForTimer(controls);
}

void EffectSchedule::adjustModeForTimer(EffectControls& controls) const {
    const int e = effectOf(timerIndex) - 1;
    if (e < 0) {
        controls.setMatrixEnabled(false);
        controls.setNormalSwitchOn(true);
        controls.setNormalMenuItemOn(true);
        return;
    }
    controls.setMatrixEnabled(true);
    controls.setNormalSwitchOn(false);
    controls.setNormalMenuItemOn(false);
    controls.selectCell(e / kMatrixColumns, e % kMatrixColumns);
}

void EffectSchedule::timerFireMethod(EffectControls& controls) {
    if (timerCounter > INT_MIN) --timerCounter;
    if (timerCounter > 0) return;
    const int n = rowCount();
    if (n <= 0) return;
    timerIndex = ((timerIndex % n) + n + 1) % n;
    for (int tries = 0; tries < n; ++tries) {
        timerCounter = durationOf(timerIndex);
        if (timerCounter > 0) break;
        timerIndex = (timerIndex + 1) % n;
    }
    adjustModeForTimer(controls);
}
