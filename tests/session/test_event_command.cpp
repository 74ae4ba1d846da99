#include "session/EventCommand.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

namespace kestro::test {
namespace {

// Each case posts its events at once; the command notes what it saw in $F.
// Had two run at the same time, "<" and ">" around the runs would not alternate.
TEST(EventCommandTest, OneAtATimeSlowFailingAndUnstartableCommands) {
    const struct {
        const char* script;  // after noting its start; none: a program that cannot be started
        int posts;
        int limitMs;
        size_t queue;
        const char* notes;
        QStringList log;  // the start of each line, after "--on-event PROGRAM "
    } cases[] = {
        {"sleep 0.2; echo '>' >>$F", 3, 30000, 16, "<start1\n>\n<end2\n>\n<start3\n>\n", {}},
        // Full queue: the oldest waiting one gives way, the newest runs.
        {"sleep 0.3; echo '>' >>$F",
         4,
         30000,
         1,
         "<start1\n>\n<end4\n>\n",
         {"is still busy: the event of 2026-03-04T05:14:02 (end) was dropped",
          "is still busy: the event of 2026-03-04T05:14:03 (start) was dropped"}},
        {"exec sleep 30", 2, 300, 16, "<start1\n<end2\n", QStringList(2, "took longer than 0.3 s and was killed")},
        {"exit 3", 1, 30000, 16, "<start1\n", {"ended with status 3"}},
        {"kill -9 $$", 1, 30000, 16, "<start1\n", {"was ended by a signal"}},
        {nullptr, 2, 30000, 16, "", QStringList(2, "could not be started")},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        qputenv("F", dir.filePath(QStringLiteral("notes")).toLocal8Bit());
        const QStringList command =
            c.script ? QStringList{"/bin/sh", "-c",
                                   QString("echo \"<$KESTRO_EVENT_PHASE$KESTRO_EVENT_COUNT\" >>$F; ") + c.script}
                     : QStringList{dir.path()};
        QStringList log;
        EventCommand cmd(
            command, [&](const QString& line) { log << line; }, c.limitMs, c.queue);
        for (int i = 1; i <= c.posts; ++i)
            cmd.post({QStringLiteral("KESTRO_EVENT_PHASE=") + (i % 2 ? "start" : "end"),
                      QStringLiteral("KESTRO_EVENT_COUNT=%1").arg(i),
                      QStringLiteral("KESTRO_EVENT_START=2026-03-04T05:14:%1").arg(i, 2, 10, QLatin1Char('0'))});
        const QDeadlineTimer bound(60000);  // against a hang only
        while (!cmd.idle() && !bound.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QFile f(qEnvironmentVariable("F"));
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll(), c.notes) << c.script;
        ASSERT_EQ(log.size(), c.log.size()) << log.join('\n').toStdString();
        for (int i = 0; i < log.size(); ++i)
            EXPECT_TRUE(log[i].startsWith("--on-event " + command[0] + ' ' + c.log[i])) << log[i].toStdString();
    }
}

}  // namespace
}  // namespace kestro::test
