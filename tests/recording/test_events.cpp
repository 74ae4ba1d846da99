// The events file of a recording: which levels are watched, the rows through
// a failing medium, and its place in the side file's hashes.
#include "RecorderFixture.h"
#include "recording/EvidenceFiles.h"
#include "statistics/EventsFile.h"

namespace kestro::test {
namespace {

using EventsTest = RecorderTest;

TEST_F(EventsTest, OnlyInstantLevelsAreWatched) {
    const struct {
        int16_t function;
        const char* slow;
        const char* fast;
        const char* text;
    } cases[] = {
        {1, "lp 700 0\r", "p 447A00000\r", "slow LP levels above 80.0 dB"},
        {2, "leq 700 0\r", "q 447A00000\r", "LEQ values are no instant levels"},
        {3, "max 700 0\r", "r 447A00000\r", "MAX values are no instant levels"},
        {2, "leq 700 0\r", "p 447A00000\r", "fast LPF levels above 80.0 dB"},
    };
    for (const auto& c : cases) {
        arm();
        ps.KestroState.DevFunction = c.function;
        ps.KestroState.DevVariant = c.function == 1 ? 1 : 2;  // a running measurement
        feed(c.slow);
        feed(c.fast);
        tick();
        EXPECT_EQ(rec->events().detectionText(), QLatin1String(c.text)) << c.slow << c.fast;
        // A watched series has its events file from the start: never both streams at once.
        EXPECT_EQ(QFile::exists(rec->events().eventsPath(1)), QString::fromLatin1(c.text).startsWith("fast")) << c.fast;
        rec->endStatistics();
        ps.RecordState = 0;
        EXPECT_EQ(rec->events().detectionText(), QString());
    }
}

// An event across statistics intervals, and a marked span, while the record
// directory fails: the rows wait and come in order; the side file vouches for them.
TEST_F(EventsTest, RowsOutlastAnOutageAndAreHashed) {
    failOpensWith(ENOSPC);
    s.StatisticsInterval = 10;
    std::vector<EventNotice> notices;
    QObject::connect(rec.get(), &SeriesRecorder::noiseEvent, [&](const EventNotice& n) { notices.push_back(n); });
    arm();
    auto second = [&](int tenths, int n) {
        for (int i = 0; i < n; ++i) {
            slow(tenths);
            tick();
            clock.advanceMs(900);
        }
    };
    second(700, 3);
    second(900, 10);
    failing = true;
    second(900, 15);
    ASSERT_TRUE(rec->mark(QStringLiteral("truck; loud"), clock.read()));
    second(650, 12);
    ASSERT_TRUE(rec->mark(QString(), clock.read()));
    failing = false;
    second(650, 1);
    rec->endStatistics();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].event.durationMs, 25000);

    const QString record = inRec("NoiseData_LP_20260305_140327.dat");
    const QList<QByteArray> rows = readFile(eventsFilePath(record)).split('\n');
    ASSERT_EQ(rows.size(), 1 + 1 + 3 + 10 + 1 + 1) << readFile(eventsFilePath(record)).toStdString();
    EXPECT_EQ(rows[1], "Exceedance;2026-03-05 14:03:30,250;2026-03-05 14:03:55,250;25,0;25;90,0;90,0;104,0;closed;\r");
    EXPECT_TRUE(rows[2].startsWith("Sample;2026-03-05 14:03:27,250;")) << rows[2].data();
    EXPECT_TRUE(
        rows[15].startsWith("Marker;2026-03-05 14:03:55,250;2026-03-05 14:04:07,250;12,0;12;65,0;65,0;75,8;"
                            "closed;truck; loud\r"))
        << rows[15].data();
    EXPECT_GE(readFile(inRec("NoiseData_LP_20260305_140327_STAT.dat")).count("Interval;"), 4);

    EXPECT_EQ(closedSideFile(record)[QLatin1String("events_bytes")].toInt(), readFile(eventsFilePath(record)).size());
    EXPECT_EQ(verdictText(verifyDirectory(recDir()).files.at(0).verdict), "OK");
    QFile f(eventsFilePath(record));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write("X");
    f.close();
    EXPECT_EQ(verdictText(verifyDirectory(recDir()).files.at(0).verdict), "CHANGED");
}

}  // namespace
}  // namespace kestro::test
