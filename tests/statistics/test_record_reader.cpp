// Reading record files written under every separator and column setting,
// torn and broken lines, midnight, and the analysis of a whole file.
#include "StatTestSupport.h"
#include "protocol/DeviceCodes.h"
#include "statistics/EventsFile.h"
#include "statistics/LevelAccumulator.h"
#include "statistics/RecordAnalysis.h"
#include "statistics/RecordFileReader.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cmath>
#include <ostream>
#include <tuple>
#include <vector>

namespace kestro {
namespace {

struct Got {
    int64_t ms;
    int32_t hundredths;  // 0 without a level
    int16_t flags;
    bool valued = true;
    bool operator==(const Got& o) const {
        return std::tie(ms, hundredths, flags, valued) == std::tie(o.ms, o.hundredths, o.flags, o.valued);
    }
};

void PrintTo(const Got& g, std::ostream* os) {
    *os << g.ms << ' ' << g.hundredths << ' ' << g.flags << ' ' << g.valued;
}

class Reader : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeBytes(path, bytes));
        return path;
    }
    RecordReadResult read(const QString& path, const RecordReadOptions& o = RecordReadOptions()) {
        got.clear();
        return readRecordFile(
            path,
            [this](const RecordSample& s, int64_t) {
                got.push_back({s.localMs, s.valued ? s.hundredths : 0, s.levelFlags, s.valued});
            },
            o);
    }
    QTemporaryDir dir;
    std::vector<Got> got;
};

const QString kSlowName = QStringLiteral("NoiseData_LEQ_20260305_140327.dat");
const QString kFastName = QStringLiteral("NoiseData_LPF_20260305_140327.dat");

TEST_F(Reader, EverySeparatorAndColumnSetting) {
    const int64_t t = localMs(2026, 3, 5, 14, 3, 27, 250);
    const struct {
        const char* what;
        QByteArray content;
        std::vector<Got> expected;
        QString name = kSlowName;
    } cases[] = {
        {"defaults",
         "Time;NoiseValue\r\n14:03:27,250; 65,3\r\n14:03:28,250; 4,8\r\n",
         {{t, 6530, 0}, {t + 1000, 480, 0}}},
        {"all four switches",
         "Time;NoiseValue;Overflow;Underflow\r\n14:03:27,250; 65,3; 0; 0\r\n14:03:28,250; 4,8; 0; 1\r\n"
         "14:03:29,250; 130,0; 1; 0\r\n",
         {{t, 6530, 0}, {t + 1000, 480, 1}, {t + 2000, 13000, 4}}},
        {"tab and point", "Time\tNoiseValue\tOverflow\r\n14:03:27.250\t 65.3\t 1\r\n", {{t, 6530, 4}}},
        {"space as column separator", "14:03:27,250  65,3  1  1\r\n", {{t, 6530, 5}}},
        {"one character for both", "14:03:27,250, 65,3, 0, 1\r\n", {{t, 6530, 1}}},
        {"underflow alone, by the header", "Time;NoiseValue;Underflow\r\n14:03:27,250; 65,3; 1\r\n", {{t, 6530, 1}}},
        {"negative level", "14:03:27,250; -1,2\r\n", {{t, -120, 0}}},
        {"settings changed while writing",
         "Time;NoiseValue\r\n14:03:27,250; 65,3\r\n14:03:28.250\t 66.1\t 1\t 0\r\n14:03:29,250, 67,0\r\n",
         {{t, 6530, 0}, {t + 1000, 6610, 4}, {t + 2000, 6700, 0}}},
        {"line feeds only", "14:03:27,250; 65,3\n14:03:28,250; 65,4\n", {{t, 6530, 0}, {t + 1000, 6540, 0}}},
        {"fast values, one without a level",
         "Time;NoiseValue;Overflow;Underflow\r\n14:03:27,250; 65,05; 0; 0\r\n14:03:27,265;; 1; 0\r\n"
         "14:03:27,280; -0,07; 0; 0\r\n",
         {{t, 6505, 0}, {t + 15, 0, 4, false}, {t + 30, -7, 0}},
         kFastName},
        {"fast value without level, space separated",
         "14:03:27,250   1  0\r\n14:03:27,265  60,00\r\n",
         {{t, 0, 4, false}, {t + 15, 6000, 0}},
         kFastName},
        {"a second series appended with its header",
         "Time;NoiseValue\r\n14:03:27,250; 65,3\r\nTime;NoiseValue\r\n14:03:28,250; 65,3\r\n",
         {{t, 6530, 0}, {t + 1000, 6530, 0}}},
        // Not known to be whole without its line end, even where its bytes would parse.
        {"torn", "14:03:27,250; 65,3\r\n14:03:28,250; 65,4\r\n14:03:29,2", {{t, 6530, 0}, {t + 1000, 6540, 0}}},
        {"a last line without its end", "14:03:27,250; 65,3\r\n14:03:28,250; 65,4", {{t, 6530, 0}}},
    };
    for (const auto& c : cases) {
        const RecordReadResult r = read(write(c.name, c.content));
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(got, c.expected) << c.what;
        // A torn last line is skipped with a notice that names it.
        const QString torn = QStringLiteral("line %1").arg(c.content.count('\n') + 1);
        EXPECT_EQ(r.notices.size() == 1 && r.notices[0].contains(torn), !c.content.endsWith('\n')) << c.what;
    }
}

TEST_F(Reader, BrokenLinesNameTheFileAndLine) {
    const struct {
        QByteArray content;
        int64_t line;
    } cases[] = {
        {"Time;NoiseValue\r\n14:03:27,250;65,3\r\n", 2},  // no blank before the level
        {"14:03:27,250; 65,3\r\n14:03:28,250; 65,3\r\nhello world\r\n", 3},
        {"25:03:27,250; 65,3\r\n", 1},
        {"14:03:27,250; 65,3; 2\r\n", 1},
        {"14:03:27,250; 65,3; 0; 0; 0\r\n", 1},
        {"14:03:27,250; 65,333\r\n", 1},
        {"Time;NoiseValue;Extra\r\n", 1},
        {"14:03:27,250\r\n", 1},
        {"14:03:27,250; 65;3\r\n", 1},  // the time's decimal separator is not the level's
        // Memory stays bounded: a line longer than the bound is an error, with or without its end.
        {"14:03:27,250; 65,3\r\n" + QByteArray(kMaxRecordLineBytes + 1, ' ') + "\r\n", 2},
        {QByteArray(5 << 20, '\0'), 1},
    };
    for (const auto& c : cases) {
        const QString path = write(kSlowName, c.content);
        const RecordReadResult r = read(path);
        EXPECT_EQ(std::pair(r.status, r.errorLine), std::pair(RecordReadResult::Status::Failed, c.line))
            << c.content.left(80).toStdString();
        EXPECT_TRUE(r.error.startsWith(path + QStringLiteral(", line %1: ").arg(c.line))) << r.error.toStdString();
        EXPECT_EQ(r.error.contains(QStringLiteral("longer than")), c.content.size() > kMaxRecordLineBytes);
    }
    // Only regular files with a record line: a pipe without a writer fails at once.
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, const char*> files[] = {
        {dir.filePath(QStringLiteral("nothing.dat")), "No such file"},
        {fifo, "not a regular file"},
        {write(kSlowName, ""), "no record lines"},
        {write(kSlowName, "Time;NoiseValue\r\n14:03:27,2"), "no record lines"}};
    for (const auto& [path, why] : files) {
        const RecordReadResult r = read(path);
        EXPECT_TRUE(!r.ok() && r.error.startsWith(path + QStringLiteral(": ")) && r.error.contains(QLatin1String(why)))
            << r.error.toStdString();
    }
}

TEST_F(Reader, MidnightComesFromTheTimeGoingBack) {
    read(write(QStringLiteral("N_LP_20261231_235959.dat"),
               "23:59:59,900; 60,0\r\n00:00:00,100; 60,0\r\n18:00:00,000; 60,0\r\n00:00:01,000; 60,0\r\n"));
    EXPECT_EQ(got, (std::vector<Got>{{localMs(2026, 12, 31, 23, 59, 59, 900), 6000, 0},
                                     {localMs(2027, 1, 1, 0, 0, 0, 100), 6000, 0},
                                     {localMs(2027, 1, 1, 18, 0, 0), 6000, 0},
                                     {localMs(2027, 1, 2, 0, 0, 1), 6000, 0}}));
    // The name is taken a moment after the first sample, which may be the day before.
    read(write(QStringLiteral("N_LP_20270101_000000.dat"), "23:59:59,950; 60,0\r\n00:00:00,950; 60,0\r\n"));
    EXPECT_EQ(got[0].ms, localMs(2026, 12, 31, 23, 59, 59, 950));
    EXPECT_EQ(got[1].ms, localMs(2027, 1, 1, 0, 0, 0, 950));
    // Daylight saving time ends: back by an hour is the same day.
    read(write(QStringLiteral("N_LP_20261025_025959.dat"), "02:59:59,000; 60,0\r\n02:00:00,000; 60,0\r\n"));
    EXPECT_EQ(got[1].ms, localMs(2026, 10, 25, 2, 0, 0));
}

TEST_F(Reader, LinesWithoutATimeGetInstantsByTheCadence) {
    const struct {
        const char* what;
        QByteArray content;
        std::vector<int64_t> ms;  // after 14:03:27
        int64_t estimated;
    } cases[] = {
        {"no time at all: from the name's time to the last change",
         "\tNoiseValue\r\n\t 65.3\r\n\t 65.4\r\n\t 65.5\r\n",
         {0, 60000, 120000},
         3},
        {"the time column switched off",
         "14:03:27,250; 65,3\r\n14:03:28,250; 65,3\r\n; 65,4\r\n; 65,5\r\n",
         {250, 1250, 2250, 3250},
         2},
        {"off and on again",
         "14:03:27,250; 65,3\r\n14:03:28,250; 65,3\r\n; 65,4\r\n; 65,5\r\n14:03:32,250; 65,3\r\n",
         {250, 1250, 2250, 3250, 5250},
         2},
        {"more lines than the gap holds",
         "14:03:27,250; 65,3\r\n14:03:28,250; 65,3\r\n; 65,4\r\n; 65,5\r\n; 65,6\r\n14:03:30,250; 65,3\r\n",
         {250, 1250, 1750, 2250, 2750, 3250},
         3},
    };
    for (const auto& c : cases) {
        const QString path = write(kSlowName, c.content);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2026, 3, 5), QTime(14, 5, 27)), QFileDevice::FileModificationTime));
        f.close();
        const RecordReadResult r = read(path);
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(std::tuple(r.hasTime, r.estimated, r.notices.size()), std::tuple(false, c.estimated, 1)) << c.what;
        std::vector<int64_t> ms;
        for (const Got& g : got)
            ms.push_back(g.ms - localMs(2026, 3, 5, 14, 3, 27));
        EXPECT_EQ(ms, c.ms) << c.what;
    }
}

// One flag column and no header: overflow unless said otherwise, and the reader says it assumed.
TEST_F(Reader, AFlagColumnWithoutAHeaderIsAssumedAndSaid) {
    const QString path = write(kSlowName, "14:03:27,250; 65,3; 1\r\n");
    RecordReadOptions under;
    under.singleFlagColumn = kStatusUnderflow;
    for (const auto& [o, given, word] :
         {std::tuple{RecordReadOptions(), kStatusOverflow, "overflow"}, {under, kStatusUnderflow, "underflow"}}) {
        const RecordReadResult r = read(path, o);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].flags, given);
        EXPECT_TRUE(r.flagColumnAssumed && r.notices.size() == 1 && r.notices[0].contains(QLatin1String(word)));
    }
    EXPECT_FALSE(read(write(kSlowName, "Time;NoiseValue;Underflow\r\n14:03:27,250; 65,3; 1\r\n")).flagColumnAssumed);
}

TEST_F(Reader, FileNames) {
    const struct {
        const char* name;
        bool valid;
        const char* type;
        const char* ext;
    } cases[] = {
        {"NoiseData_LEQ_20260305_140327.dat", true, "LEQ", ".dat"}, {"My_Site_LPF_20260305_140327", true, "LPF", ""},
        {"N_RAW_20260305_140327.csv", true, "RAW", ".csv"},         {"N_LP_20261305_140327.dat", false, "", ""},
        {"N_LP_20260305_140327_STAT.dat", true, "LP", "_STAT.dat"}, {"measurement.txt", false, "", ""}};
    for (const auto& c : cases) {
        const RecordFileName n = parseRecordFileName(QStringLiteral("/x/") + QString::fromLatin1(c.name));
        EXPECT_EQ(std::tuple(n.valid, n.typeWord.toStdString(), n.extension.toStdString()),
                  std::tuple(c.valid, std::string(c.type), std::string(c.ext)))
            << c.name;
    }
    EXPECT_EQ(parseRecordFileName(QStringLiteral("N_LP_20260305_140327.dat")).startMs, localMs(2026, 3, 5, 14, 3, 27));
}

// Three hours of a slow stream, one sample a second; the level walks a known pattern.
QByteArray threeHours(std::vector<std::pair<int64_t, int32_t>>* truth) {
    QByteArray out = "Time;NoiseValue\r\n";
    const int64_t t0 = localMs(2026, 3, 5, 22, 50, 7);
    for (int i = 0; i < 3 * 3600; ++i) {
        const int32_t tenths = 400 + (i * 37) % 500;  // 40.0 .. 89.9 dB
        const int64_t ms = t0 + int64_t{i} * 1000;
        truth->push_back({ms, tenths * 10});
        out += recordLine(ms, tenths);
    }
    return out;
}

TEST_F(Reader, AnalysisOfAWholeFileAndOfASpan) {
    std::vector<std::pair<int64_t, int32_t>> truth;
    const QString path = write(QStringLiteral("NoiseData_LP_20260305_225007.dat"), threeHours(&truth));
    StatisticsConfig cfg;
    cfg.intervalSeconds = 900;
    cfg.limitTenths = 640;
    NoiseEvent marker;  // its start on a sample, its end on the first sample after it
    marker.kind = EventKind::Marker;
    marker.startLocalMs = localMs(2026, 3, 5, 23, 30, 0);
    marker.endLocalMs = localMs(2026, 3, 5, 23, 40, 0);
    QByteArray events = eventsHeaderLine(cfg);
    appendEventRows(events, cfg, marker);
    write(QFileInfo(eventsFilePath(path)).fileName(), events);
    const RecordAnalysis a = analyzeRecordFile(path, cfg);
    ASSERT_TRUE(a.ok()) << a.read.error.toStdString();
    // 22:50:07 .. 01:50:06: a partial first interval, 11 whole ones, a partial last one.
    ASSERT_EQ(a.intervals.size(), 13u);
    EXPECT_EQ(std::pair(a.intervals[0].startMs, a.intervals[0].samples),
              std::pair(localMs(2026, 3, 5, 22, 50, 7), int64_t{593}));
    EXPECT_EQ(a.intervals[12].endMs, localMs(2026, 3, 6, 1, 50, 6));
    EXPECT_EQ(a.summary.samples, 3 * 3600);

    // Each interval and each clock hour (its intervals combined) against a direct computation from the samples.
    ASSERT_EQ(a.hours.size(), 4u);
    EXPECT_EQ(a.hours[0].startMs, a.intervals[0].startMs);
    for (const auto* rows : {&a.intervals, &a.hours}) {
        for (const IntervalResult& r : *rows) {
            LevelAccumulator direct;
            for (const auto& [ms, h] : truth)
                if (ms >= r.startMs && ms < r.endMs + (r.endMs == rows->back().endMs ? 1 : 0)) direct.add(h, 0);
            EXPECT_NEAR(r.leq, direct.leq(), 1e-9);
            EXPECT_EQ(std::tuple(r.samples, r.l90, r.lmin, r.overLimit),
                      std::tuple(direct.samples(), direct.exceededTenths(90) / 10.0, direct.minHundredths() / 100.0,
                                 levelTenths(direct.leq()) > 640));
        }
    }
    // One assessment day: the evening of the 5th and its night across midnight, a second per sample.
    ASSERT_EQ(a.days.size(), 1u);
    EXPECT_EQ(std::pair(a.days[0].evening.coveredMs, a.days[0].night.coveredMs),
              std::pair(int64_t{9 * 60 + 53} * 1000, int64_t{170 * 60 + 7} * 1000));
    EXPECT_EQ(a.coveredMs(), 3 * 3600000);
    EXPECT_EQ(a.history.overall().maxHundredths, 8990);
    LevelAccumulator kept;
    for (const auto& [ms, h] : truth)
        if (ms < marker.startLocalMs || ms >= marker.endLocalMs) kept.add(h, 0);
    EXPECT_EQ(std::pair(a.markedSamples, a.withoutMarked.samples), std::pair(int64_t{600}, kept.samples()));
    EXPECT_NEAR(a.withoutMarked.leq, kept.leq(), 1e-9);

    // Cancelled: the analysis says so and stops.
    int calls = 0;
    EXPECT_EQ(analyzeRecordFile(path, cfg, [&](int64_t, int64_t) { return ++calls < 1; }).read.status,
              RecordReadResult::Status::Cancelled);

    // A span in the middle is read from the index, not from the start: lines
    // before it may even be spoilt (in place) since.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype spoilt = bytes.indexOf("\r\n00:00:00");
    for (qsizetype i = bytes.indexOf('\n') + 1; i < spoilt; ++i)
        if (bytes[i] != '\r' && bytes[i] != '\n') bytes[i] = 'x';
    ASSERT_TRUE(f.seek(0) && f.write(bytes) == bytes.size());
    f.close();
    const int64_t from = localMs(2026, 3, 6, 0, 10, 30), to = localMs(2026, 3, 6, 0, 41, 12);
    bool ok = false;
    const IntervalResult span = analyzeSpan(a, from, to, {}, &ok);
    ASSERT_TRUE(ok);
    LevelAccumulator direct;
    for (const auto& [ms, h] : truth)
        if (ms >= from && ms <= to) direct.add(h, 0);
    EXPECT_NEAR(span.leq, direct.leq(), 1e-9);
    EXPECT_EQ(std::tuple(span.samples, span.l10, span.startMs, span.endMs),
              std::tuple(direct.samples(), direct.exceededTenths(10) / 10.0, from, to));

    // A running Leq: a span's value needs the readings from the series start.
    QByteArray leq;
    double energy = 0.0;
    for (int i = 0; i < 120; ++i) {
        energy += i == 0 ? 0.0 : std::pow(10.0, i <= 60 ? 6.0 : 7.0);
        const int tenths = i == 0 ? 600 : int(std::lround(100.0 * std::log10(energy / i)));
        leq += recordLine(localMs(2026, 3, 5, 14, 0, 0) + i * 1000, tenths);
    }
    const RecordAnalysis b = analyzeRecordFile(write(QStringLiteral("N_LEQ_20260305_140000.dat"), leq), cfg);
    const IntervalResult second = analyzeSpan(b, localMs(2026, 3, 5, 14, 1, 1), localMs(2026, 3, 5, 14, 1, 59));
    EXPECT_NEAR(second.leq, 70.0, 0.2);
    EXPECT_TRUE(std::isnan(second.l90));
}

}  // namespace
}  // namespace kestro
