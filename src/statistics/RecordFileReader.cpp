#include "statistics/RecordFileReader.h"

#include "core/Types.h"
#include "protocol/DeviceCodes.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace kestro {

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kHalfDayMs = kMsPerDay / 2;
constexpr int64_t kBlockBytes = 4 << 20;
constexpr int64_t kJitterMs = 1000;

inline bool digit(char c) { return c >= '0' && c <= '9'; }
inline int val(char c) { return c - '0'; }

enum class LineKind { Empty, Header, Sample, Bad };

// What one line says. Separators are taken from the line itself.
struct ParsedLine {
    bool hasTime = false;
    int32_t msOfDay = 0;
    RecordSample sample;
    int decimals = 0;
    char decimal = ',';
    const char* problem = "";
};

class LineParser {
public:
    explicit LineParser(int16_t singleFlag = kStatusOverflow) : singleFlag_(singleFlag) {}
    // A line had one flag column and no header said which: singleFlag_ was assumed.
    bool guessedFlag = false;
    LineKind parse(const char* p, const char* e, ParsedLine& out) {
        if (p == e) return LineKind::Empty;
        if (contains(p, e, "NoiseValue")) return parseHeader(p, e, out) ? LineKind::Header : LineKind::Bad;
        const char* pos = p;
        out.hasTime = e - p >= 12 && digit(p[0]) && digit(p[1]) && p[2] == ':' && digit(p[3]) && digit(p[4]) &&
                      p[5] == ':' && digit(p[6]) && digit(p[7]) && !digit(p[8]) && digit(p[9]) && digit(p[10]) &&
                      digit(p[11]);
        if (out.hasTime) {
            const int h = val(p[0]) * 10 + val(p[1]);
            const int m = val(p[3]) * 10 + val(p[4]);
            const int s = val(p[6]) * 10 + val(p[7]);
            if (h > 23 || m > 59 || s > 59) return bad(out, "the time of day is not a time");
            out.msOfDay = ((h * 60 + m) * 60 + s) * 1000 + val(p[9]) * 100 + val(p[10]) * 10 + val(p[11]);
            pos = p + 12;
        }
        if (pos >= e) return bad(out, "the level column is missing");
        const char t = *pos++;
        // A letter or digit never separates columns: this is not a record line.
        if (digit(t) || (t >= 'A' && t <= 'Z') || (t >= 'a' && t <= 'z')) return bad(out, "not a record line");
        RecordSample& s = out.sample;
        s.levelFlags = 0;
        s.valued = false;
        if (pos + 1 < e && *pos == ' ' && (digit(pos[1]) || pos[1] == '-')) {
            ++pos;
            const bool negative = *pos == '-';
            if (negative) ++pos;
            int32_t whole = 0;
            int n = 0;
            while (pos < e && digit(*pos) && n < 6) {
                whole = whole * 10 + val(*pos++);
                ++n;
            }
            if (n == 0 || pos >= e || digit(*pos)) return bad(out, "the level is not a number");
            out.decimal = *pos++;  // whatever it is, but one setting serves time and level
            if (out.hasTime && out.decimal != p[8])
                return bad(out, "the level and the time have different decimal separators");
            int32_t frac = 0;
            int d = 0;
            while (pos < e && digit(*pos) && d < 3) {
                frac = frac * 10 + val(*pos++);
                ++d;
            }
            if (d < 1 || d > 2) return bad(out, "the level has neither one nor two decimals");
            s.hundredths = whole * 100 + (d == 1 ? frac * 10 : frac);
            if (negative) s.hundredths = -s.hundredths;
            out.decimals = d;
            s.valued = true;
        } else if (!(pos == e || *pos == t)) {
            return bad(out, "the level column holds no level");
        }
        int columns = 0;
        int16_t seen[2] = {0, 0};
        while (pos < e) {
            if (e - pos < 3 || pos[0] != t || pos[1] != ' ' || (pos[2] != '0' && pos[2] != '1') || columns == 2)
                return bad(out, "a column after the level is neither 0 nor 1");
            seen[columns++] = pos[2] == '1';
            pos += 3;
        }
        // Which flag a column holds: as the last header said, else overflow comes first.
        if (columns == 1 && headerColumns_ != 1) guessedFlag = true;
        for (int i = 0; i < columns; ++i) {
            if (!seen[i]) continue;
            const bool known = headerColumns_ == columns;
            if (!known && columns == 1)
                s.levelFlags |= singleFlag_;
            else
                s.levelFlags |= known ? headerKinds_[i] : (i == 0 ? kStatusOverflow : kStatusUnderflow);
        }
        return LineKind::Sample;
    }

private:
    static bool notHeader(ParsedLine& out) {
        out.problem = "not a header line";
        return false;
    }
    static bool contains(const char* p, const char* e, const char* word) {
        const size_t n = std::strlen(word);
        for (const char* q = p; q + n <= e; ++q)
            if (std::memcmp(q, word, n) == 0) return true;
        return false;
    }
    static LineKind bad(ParsedLine& out, const char* why) {
        out.problem = why;
        return LineKind::Bad;
    }

    bool parseHeader(const char* p, const char* e, ParsedLine& out) {
        const char* pos = p;
        if (e - p >= 4 && std::memcmp(p, "Time", 4) == 0) pos += 4;
        if (pos >= e) return notHeader(out);
        const char t = *pos++;
        if (e - pos < 10 || std::memcmp(pos, "NoiseValue", 10) != 0) return notHeader(out);
        pos += 10;
        int columns = 0;
        int16_t kinds[2] = {kStatusOverflow, kStatusUnderflow};
        while (pos < e) {
            if (*pos++ != t || columns == 2) return notHeader(out);
            if (e - pos >= 8 && std::memcmp(pos, "Overflow", 8) == 0) {
                kinds[columns++] = kStatusOverflow;
                pos += 8;
            } else if (e - pos >= 9 && std::memcmp(pos, "Underflow", 9) == 0) {
                kinds[columns++] = kStatusUnderflow;
                pos += 9;
            } else {
                return notHeader(out);
            }
        }
        headerColumns_ = columns;
        headerKinds_[0] = kinds[0];
        headerKinds_[1] = kinds[1];
        return true;
    }

    int16_t singleFlag_;
    int headerColumns_ = -1;
    int16_t headerKinds_[2] = {kStatusOverflow, kStatusUnderflow};
};

QString tooLong() {
    return QStringLiteral("the line is longer than %1 bytes; this is not a record file").arg(kMaxRecordLineBytes);
}

QString shown(const char* p, const char* e) {
    QString s = QString::fromLatin1(p, int(std::min<ptrdiff_t>(e - p, 60)));
    s.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return s;
}

// Only a regular file has an end and does not block: a pipe without a writer
// would hang in open(), a device never ends. Opened without waiting, then
// judged by the descriptor itself, so a name swapped meanwhile cannot slip by.
QString openRegularFile(const QString& path, QFile& f) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        // A socket cannot be opened at all (ENXIO): say what it is instead.
        const bool special = ::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode);
        return special ? QStringLiteral("not a regular file") : QString::fromLocal8Bit(std::strerror(e));
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return QString();
    ::close(fd);
    return f.errorString();
}

int64_t localMsOf(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    return int64_t{dayNumber(d.year(), d.month(), d.day())} * kMsPerDay + t.msecsSinceStartOfDay();
}

// Consecutive lines without a time, between the known instants around them.
struct UntimedRun {
    int64_t offset = 0;  // of the first line
    int64_t count = 0;
    int64_t prevMs = 0;      // the timed line before, or the name's time
    bool prevTimed = false;  // false: prevMs is the name's time (the first line is there)
    int64_t nextMs = 0;      // the timed line after
    bool hasNext = false;
    // Spread by the cadence from the instant before; evenly when that would
    // reach the instant after.
    int64_t instant(int64_t j, int64_t cadenceMs) const {
        const int64_t k0 = prevTimed ? 1 : 0;
        if (hasNext && prevMs + cadenceMs * (count - 1 + k0) >= nextMs)
            return prevMs + (nextMs - prevMs) * (j + k0) / (count + k0);
        return prevMs + cadenceMs * (j + k0);
    }
};

struct UntimedPlan {
    std::vector<UntimedRun> runs;
    int64_t cadenceMs = 1000;
};

// The typical gap between samples: the median of the gaps up to kMaxGapMs.
class Cadence {
public:
    static constexpr int64_t kMaxGapMs = 10000;
    void add(int64_t gapMs) {
        if (gapMs <= 0 || gapMs > kMaxGapMs) return;
        if (gaps_.empty()) gaps_.assign(size_t(kMaxGapMs) + 1, 0);
        ++gaps_[size_t(gapMs)];
        ++n_;
    }
    int64_t median(int64_t fallback) const {
        int64_t seen = 0;
        for (size_t g = 0; g < gaps_.size(); ++g) {
            seen += gaps_[g];
            if (n_ > 0 && 2 * seen >= n_) return int64_t(g);
        }
        return fallback;
    }
    bool empty() const { return n_ == 0; }

private:
    std::vector<uint32_t> gaps_;
    int64_t n_ = 0;
};

// The instant of a time of day read after ref (the sample before, or the name's time).
int64_t instantAfter(int64_t ref, int32_t msOfDay, bool first) {
    int64_t day = ref / kMsPerDay;
    if (ref % kMsPerDay < 0) --day;
    int64_t ms = day * kMsPerDay + msOfDay;
    if (ms < ref - kHalfDayMs) ms += kMsPerDay;           // midnight passed
    if (first && ms > ref + kHalfDayMs) ms -= kMsPerDay;  // first sample before a midnight name
    return ms;
}

// One pass over the whole file for the runs of lines without a time and the
// cadence of the timed ones (their median gap).
UntimedPlan planUntimed(const QString& path, int64_t nameStart, int64_t modifiedMs, bool fast, int16_t singleFlag) {
    UntimedPlan plan;
    Cadence cadence;
    int64_t untimed = 0;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return plan;
    LineParser parser(singleFlag);
    ParsedLine pl;
    QByteArray buf;
    int64_t bufStart = 0;
    int64_t prevMs = nameStart;
    bool havePrev = false;
    while (true) {
        const QByteArray block = f.read(kBlockBytes);
        if (block.isEmpty()) break;
        buf.append(block);
        const char* const base = buf.constData();
        const char* p = base;
        const char* const end = base + buf.size();
        while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))) {
            const char* e = nl > p && nl[-1] == '\r' ? nl - 1 : nl;
            if (parser.parse(p, e, pl) == LineKind::Sample) {
                if (pl.hasTime) {
                    const int64_t ms = instantAfter(havePrev ? prevMs : nameStart, pl.msOfDay, !havePrev);
                    if (!plan.runs.empty() && !plan.runs.back().hasNext) {
                        plan.runs.back().nextMs = ms;
                        plan.runs.back().hasNext = true;
                    }
                    if (havePrev) cadence.add(ms - prevMs);
                    prevMs = ms;
                    havePrev = true;
                } else {
                    ++untimed;
                    if (plan.runs.empty() || plan.runs.back().hasNext) {
                        UntimedRun u;
                        u.offset = bufStart + (p - base);
                        u.prevMs = prevMs;
                        u.prevTimed = havePrev;
                        plan.runs.push_back(u);
                    }
                    ++plan.runs.back().count;
                }
            }
            p = nl + 1;
        }
        const int64_t used = p - base;
        buf.remove(0, qsizetype(used));
        bufStart += used;
    }
    if (!cadence.empty()) {
        plan.cadenceMs = cadence.median(1000);
    } else if (untimed > 1 && modifiedMs > nameStart) {
        // Nothing timed at all: the lines were written from the name's time to the last change.
        plan.cadenceMs = std::max<int64_t>(1, (modifiedMs - nameStart) / (untimed - 1));
    } else {
        plan.cadenceMs = fast ? 125 : 1000;
    }
    return plan;
}

}  // namespace

bool isFastTypeWord(const QString& typeWord) {
    return typeWord == QLatin1String("LPF") || typeWord == QLatin1String("LEQF") || typeWord == QLatin1String("RAW");
}

RecordFileName parseRecordFileName(const QString& path) {
    RecordFileName n;
    const QString name = QFileInfo(path).fileName();
    static const QRegularExpression re(
        QStringLiteral("^(.*)_([^_]+)_(\\d{4})(\\d{2})(\\d{2})_(\\d{2})(\\d{2})(\\d{2})(.*)$"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch()) return n;
    const int y = m.captured(3).toInt(), mo = m.captured(4).toInt(), d = m.captured(5).toInt();
    const int h = m.captured(6).toInt(), mi = m.captured(7).toInt(), s = m.captured(8).toInt();
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return n;
    n.valid = true;
    n.base = m.captured(1);
    n.typeWord = m.captured(2);
    n.extension = m.captured(9);
    n.startMs = int64_t{dayNumber(y, mo, d)} * kMsPerDay + ((h * 60 + mi) * 60 + s) * 1000;
    return n;
}

namespace {

struct ReadExtras {
    LineParser parser;
    Cadence cadence;
    int64_t gapsMs = 0;
    int64_t clockSets = 0;
};

RecordReadResult readLines(const QString& path, const RecordSampleFn& sample, const RecordReadOptions& options,
                           ReadExtras& x) {
    RecordReadResult r;
    r.name = parseRecordFileName(path);
    const QString title = QFileInfo(path).fileName();
    auto fail = [&](int64_t line, const QString& why) {
        r.status = RecordReadResult::Status::Failed;
        r.errorLine = line;
        r.error = line > 0 ? QStringLiteral("%1, line %2: %3").arg(path).arg(line).arg(why)
                           : QStringLiteral("%1: %2").arg(path, why);
        return r;
    };

    QFile f;
    const QString openError = openRegularFile(path, f);
    if (!openError.isEmpty()) return fail(0, openError);
    const int64_t total = f.size();
    const QDateTime modified = QFileInfo(path).lastModified();
    int64_t nameStart = r.name.startMs;
    if (!r.name.valid) {
        nameStart = localMsOf(modified) - localMsOf(modified) % kMsPerDay;
        r.notices << QStringLiteral("The name of %1 holds no date; the date of its last change is used.").arg(title);
    }
    const bool fastByName = r.name.valid && isFastTypeWord(r.name.typeWord);
    r.fast = fastByName;

    if (options.startOffset > 0 && !f.seek(options.startOffset)) return fail(0, f.errorString());
    int64_t offset = options.startOffset;  // of the next unread byte
    int64_t prevMs = options.previousMs;
    bool havePrev = options.startOffset > 0 && prevMs != std::numeric_limits<int64_t>::min();

    std::optional<UntimedPlan> plan;
    size_t runIndex = 0;
    int64_t inRun = 0;
    Cadence& cadence = x.cadence;
    LineParser& parser = x.parser;
    int64_t lastMs = 0;
    bool haveLast = false;
    ParsedLine pl;
    QByteArray buf;
    int64_t bufStart = offset;  // file offset of buf[0]
    int64_t lineNo = 0;
    bool eof = false;
    bool decimalsSeen = false;
    while (!eof) {
        const QByteArray block = f.read(kBlockBytes);
        if (block.isEmpty()) {
            if (f.error() != QFileDevice::NoError) return fail(0, f.errorString());
            eof = true;
        }
        buf.append(block);
        offset += block.size();
        const char* const base = buf.constData();
        const char* p = base;
        const char* const end = base + buf.size();
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!nl) break;
            const char* e = nl;
            if (e > p && e[-1] == '\r') --e;
            ++lineNo;
            ++r.lines;
            if (e - p > kMaxRecordLineBytes) return fail(lineNo, tooLong());
            const int64_t lineOffset = bufStart + (p - base);
            const LineKind kind = parser.parse(p, e, pl);
            if (kind == LineKind::Bad)
                return fail(lineNo, QStringLiteral("%1 (\"%2\")").arg(QLatin1String(pl.problem), shown(p, e)));
            if (kind == LineKind::Sample) {
                if (!decimalsSeen && pl.sample.valued) {
                    decimalsSeen = true;
                    r.decimalSeparator = pl.decimal;
                    if (!r.name.valid) r.fast = pl.decimals == 2;
                }
                int64_t ms;
                pl.sample.estimated = false;
                if (pl.hasTime) {
                    ms = instantAfter(havePrev ? prevMs : nameStart, pl.msOfDay, !havePrev);
                } else {
                    r.hasTime = false;
                    if (!plan) {
                        plan = planUntimed(path, nameStart, localMsOf(modified), fastByName || r.fast,
                                           options.singleFlagColumn);
                        r.notices << QStringLiteral(
                                         "%1 has lines without a time column; their instants are estimated from the "
                                         "times around them and the stream's cadence.")
                                         .arg(title);
                        auto it = std::lower_bound(plan->runs.begin(), plan->runs.end(), lineOffset,
                                                   [](const UntimedRun& u, int64_t o) { return u.offset < o; });
                        runIndex = size_t(it - plan->runs.begin());
                        inRun = 0;
                    }
                    if (runIndex < plan->runs.size() && plan->runs[runIndex].offset < lineOffset &&
                        inRun >= plan->runs[runIndex].count) {
                        ++runIndex;
                        inRun = 0;
                    }
                    if (runIndex < plan->runs.size() && plan->runs[runIndex].offset <= lineOffset) {
                        ms = plan->runs[runIndex].instant(inRun++, plan->cadenceMs);
                    } else {
                        ms = havePrev ? prevMs : nameStart;  // a resumed read inside a run (never indexed)
                    }
                    pl.sample.estimated = true;
                    ++r.estimated;
                }
                if (ms > options.stopAfterMs) return r;
                if (haveLast) {
                    const int64_t gap = ms - lastMs;
                    cadence.add(gap);
                    // A clock set (daylight saving time, a correction) is no time recorded.
                    if (gap < -kJitterMs || gap > Cadence::kMaxGapMs)
                        ++x.clockSets;
                    else
                        x.gapsMs += gap;
                }
                lastMs = ms;
                haveLast = true;
                if (pl.hasTime) {
                    prevMs = ms;
                    havePrev = true;
                }
                pl.sample.localMs = ms;
                if (pl.sample.valued)
                    ++r.samples;
                else
                    ++r.skipped;
                if (sample) sample(pl.sample, lineOffset);
            }
            p = nl + 1;
        }
        // Keep the unfinished line for the next block, but not without end.
        if (end - p > kMaxRecordLineBytes) return fail(lineNo + 1, tooLong());
        const int64_t used = p - base;
        buf.remove(0, qsizetype(used));
        bufStart += used;
        if (options.progress && !options.progress(offset, total)) {
            r.status = RecordReadResult::Status::Cancelled;
            return r;
        }
    }
    if (!buf.isEmpty()) {
        r.notices << QStringLiteral("The last line of %1 is incomplete (line %2) and was skipped.")
                         .arg(title)
                         .arg(lineNo + 1);
    }
    if (options.startOffset == 0 && r.samples + r.skipped == 0) return fail(0, QStringLiteral("no record lines"));
    return r;
}

}  // namespace

RecordReadResult readRecordFile(const QString& path, const RecordSampleFn& sample, const RecordReadOptions& options) {
    ReadExtras x{LineParser(options.singleFlagColumn), Cadence()};
    RecordReadResult r = readLines(path, sample, options, x);
    r.cadenceMs = x.cadence.median(r.fast ? 125 : 1000);
    if (r.samples + r.skipped > 0) r.coveredMs = x.gapsMs + (x.clockSets + 1) * r.cadenceMs;
    r.flagColumnAssumed = x.parser.guessedFlag;
    if (x.parser.guessedFlag)
        r.notices << QStringLiteral("%1 has no header line and one flag column after the level: it is read as %2.")
                         .arg(QFileInfo(path).fileName(), options.singleFlagColumn == kStatusUnderflow
                                                              ? QStringLiteral("underflow")
                                                              : QStringLiteral("overflow"));
    return r;
}

}  // namespace kestro
