#include "session/EventCommand.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

namespace kestro::test {
namespace {

QStringList event(const char* phase, int count) {
    return {QStringLiteral("KESTRO_EVENT_PHASE=") + phase, QStringLiteral("KESTRO_EVENT_COUNT=%1").arg(count),
            QStringLiteral("KESTRO_EVENT_START=2026-03-04T05:14:%1").arg(count, 2, 10, QLatin1Char('0'))};
}

// Each case posts its events at once; the command notes what it saw in a file.
// Commands overlap only if one could start before the last ended: "<" and ">"
// around each run must alternate.
TEST(EventCommandTest, OneAtATimeSlowAndFailingCommands) {
    const struct {
        const char* script;  // run as: sh -c SCRIPT, with $F the notes file
        int posts;
        int limitMs;
        size_t queue;
        const char* notes;
        QStringList log;
    } cases[] = {
        {"echo \"<$KESTRO_EVENT_PHASE$KESTRO_EVENT_COUNT\" >>$F; sleep 0.2; echo '>' >>$F",
         3,
         30000,
         16,
         "<start1\n>\n<end2\n>\n<start3\n>\n",
         {}},
        // Full queue: the oldest waiting one gives way, the newest runs.
        {"echo \"<$KESTRO_EVENT_COUNT\" >>$F; sleep 0.3; echo '>' >>$F",
         4,
         30000,
         1,
         "<1\n>\n<4\n>\n",
         {"is still busy: the event of 2026-03-04T05:14:02 (end) was dropped",
          "is still busy: the event of 2026-03-04T05:14:03 (start) was dropped"}},
        {"echo \"<$KESTRO_EVENT_COUNT\" >>$F; exec sleep 30",
         2,
         300,
         16,
         "<1\n<2\n",
         {"took longer than 0.3 s and was killed", "took longer than 0.3 s and was killed"}},
        {"echo \"<$KESTRO_EVENT_COUNT\" >>$F; exit 3", 1, 30000, 16, "<1\n", {"ended with status 3"}},
        {"echo \"<$KESTRO_EVENT_COUNT\" >>$F; kill -9 $$", 1, 30000, 16, "<1\n", {"was ended by a signal"}},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString notes = dir.filePath(QStringLiteral("notes"));
        qputenv("F", notes.toLocal8Bit());
        QStringList log;
        EventCommand cmd(
            {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QString::fromLatin1(c.script)},
            [&](const QString& line) { log << line; }, c.limitMs, c.queue);
        for (int i = 1; i <= c.posts; ++i)
            cmd.post(event(i % 2 ? "start" : "end", i));
        // A bound for a hung test, not a measure of anything.
        const QDeadlineTimer bound(60000);
        while (!cmd.idle() && !bound.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QFile f(notes);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.script;
        EXPECT_EQ(f.readAll(), c.notes) << c.script;
        for (QString& line : log)
            line.remove(QStringLiteral("--on-event /bin/sh "));
        EXPECT_EQ(log, c.log) << c.script;
    }
}

TEST(EventCommandTest, AProgramThatCannotBeStartedIsLoggedAndTheNextOneRuns) {
    QTemporaryDir dir;
    const QString gone = dir.filePath(QStringLiteral("gone"));
    QFile f(gone);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    f.close();
    QStringList log;
    EventCommand cmd({gone}, [&](const QString& line) { log << line; });
    cmd.post(event("start", 1));
    cmd.post(event("end", 2));
    const QDeadlineTimer bound(60000);
    while (!cmd.idle() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("--on-event ") + gone + QStringLiteral(" could not be started")));
}

}  // namespace
}  // namespace kestro::test
