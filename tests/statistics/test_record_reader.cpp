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
