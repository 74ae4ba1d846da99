#include "recording/RecordFormat.h"

#include "statistics/StatisticsRecorder.h"

#include <cstdlib>

namespace kestro {

namespace {

// The record files are Latin-1; a separator outside it cannot be written as itself.
char latin1(QChar c) { return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?'; }

void appendDigits(QByteArray& out, int64_t v, int minDigits) {
    if (v < 0) {
        out.append('-');
        v = -v;
    }
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = n; i < minDigits; ++i)
        out.append('0');
    while (n > 0)
        out.append(buf[--n]);
}

void appendTimeColumn(QByteArray& out, const RecorderSettings& s, const SystemTime& t) {
    appendDigits(out, t.wHour, 2);
    out.append(':');
    appendDigits(out, t.wMinute, 2);
    out.append(':');
    appendDigits(out, t.wSecond, 2);
    out.append(latin1(s.DecimalSeparator));
    appendDigits(out, t.wMilliseconds, 3);
}

// One sign in front of the whole number, never on both of its parts.
void appendFixed(QByteArray& out, const RecorderSettings& s, int32_t value, int32_t divisor, int fracDigits) {
    out.append(' ');
    if (value < 0) out.append('-');
    const int32_t a = std::abs(value);
    appendDigits(out, a / divisor, 1);
    out.append(latin1(s.DecimalSeparator));
    appendDigits(out, a % divisor, fracDigits);
}

void appendFlagColumns(QByteArray& out, const RecorderSettings& s, int16_t levelFlags) {
    const char t = latin1(s.TabularSeparator);
    if (s.IncludeOverflow) {
        out.append(t);
        out.append((levelFlags & kStatusOverflow) ? " 1" : " 0");
    }
    if (s.IncludeUnderflow) {
        out.append(t);
        out.append((levelFlags & kStatusUnderflow) ? " 1" : " 0");
    }
}

QString two(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

// The type word of a series: the one function or fast kind its first sample saw.
QString typeWordOf(int16_t flag) {
    static const struct {
        int16_t flag;
        const char* word;
    } words[] = {{kFlagLp, "LP"},     {kFlagLeq, "LEQ"},    {kFlagMax, "MAX"},
                 {kFlagFastP, "LPF"}, {kFlagFastQ, "LEQF"}, {kFlagFastR, "RAW"}};
    for (const auto& w : words)
        if (flag == w.flag) return QLatin1String(w.word);
    return QStringLiteral("UnknownType");
}

}  // namespace

QString slowTypeWord(int16_t flags) { return typeWordOf(static_cast<int16_t>(flags & kSlowFlags)); }

QString fastTypeWord(int16_t flags) { return typeWordOf(static_cast<int16_t>(flags & kFastFlags)); }

QString recordFilePath(const RecorderSettings& s, const QString& typeWord, const SystemTime& first) {
    QString dir = s.RecordDirectory;
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir + s.RecordNameBase + QLatin1Char('_') + typeWord + QLatin1Char('_') +
           QStringLiteral("%1").arg(first.wYear, 4, 10, QLatin1Char('0')) + two(first.wMonth) + two(first.wDay) +
           QLatin1Char('_') + two(first.wHour) + two(first.wMinute) + two(first.wSecond) + s.RecordFileExtension;
}

QByteArray headerLine(const RecorderSettings& s) {
    QByteArray out;
    const char t = latin1(s.TabularSeparator);
    if (s.IncludeSystemTime) out.append("Time");
    out.append(t);
    out.append("NoiseValue");
    if (s.IncludeOverflow) {
        out.append(t);
        out.append("Overflow");
    }
    if (s.IncludeUnderflow) {
        out.append(t);
        out.append("Underflow");
    }
    out.append("\r\n");
    return out;
}

void appendSlowLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r) {
    if (s.IncludeSystemTime) appendTimeColumn(out, s, r.SysTime);
    out.append(latin1(s.TabularSeparator));
    appendFixed(out, s, r.Level, 10, 1);
    appendFlagColumns(out, s, r.LevelFlags);
    out.append("\r\n");
}

int32_t fastHundredths(const MeasurementRecord& r, int16_t* v) {
    int32_t h = 0;
    if (!sampleHundredths(r, true, &h)) return r.FastLevel > 0.0 ? kErrOverflow : kErrInvalidCall;  // also NaN
    *v = static_cast<int16_t>(h);
    return 0;
}

int32_t appendFastLine(QByteArray& out, const RecorderSettings& s, const MeasurementRecord& r) {
    if (s.IncludeSystemTime) appendTimeColumn(out, s, r.SysTime);
    out.append(latin1(s.TabularSeparator));
    int16_t v = 0;
    const int32_t err = fastHundredths(r, &v);
    if (err == 0) appendFixed(out, s, v, 100, 2);
    appendFlagColumns(out, s, r.LevelFlags);
    out.append("\r\n");
    return err;
}

}  // namespace kestro
