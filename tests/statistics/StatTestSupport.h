#pragma once
// Local times, slow samples and record lines for the statistics tests.
#include "core/Types.h"
#include "protocol/DeviceCodes.h"

#include <QByteArray>
#include <QFile>
#include <QTime>

#include <cstdint>

namespace kestro {

inline int64_t localMs(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return int64_t{dayNumber(y, mo, d)} * 86400000 + ((int64_t{h} * 60 + mi) * 60 + s) * 1000 + ms;
}

inline MeasurementRecord slow(int64_t localMs, int16_t level, int16_t flags = kFlagLeq, int16_t levelFlags = 0) {
    MeasurementRecord r;
    r.Flags = flags;
    r.SysTime = systemTimeFromAbsoluteMs(localMs);
    r.Level = level;
    r.LevelFlags = levelFlags;
    return r;
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A record line under the default separators.
inline QByteArray recordLine(int64_t localMs, int32_t tenths) {
    const QTime t = QTime::fromMSecsSinceStartOfDay(int(localMs % 86400000));
    return t.toString(QStringLiteral("hh:mm:ss,zzz; ")).toLatin1() +
           QByteArray::number(tenths / 10.0, 'f', 1).replace('.', ',') + "\r\n";
}

}  // namespace kestro
