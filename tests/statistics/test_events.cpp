// Noise events: the exceedance rule with its hold time and hysteresis, marked
// spans, their levels and the events file.
#include "StatTestSupport.h"
#include "statistics/EventsFile.h"
#include "statistics/NoiseEvents.h"
#include "support/ManualClock.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <tuple>

#include <cmath>
#include <string>

namespace kestro {
namespace {

QString clockText(int64_t localMs) { return localDateTimeText(localMs).mid(11); }

QString describe(const NoiseEvent& e) {
    return QStringLiteral("%1 %2-%3 %4s n%5 %6/%7/%8 %9 b%10 a%11%12")
        .arg(e.kind == EventKind::Marker ? QLatin1Char('M') : QLatin1Char('E'))
        .arg(clockText(e.startLocalMs), clockText(e.endLocalMs))
        .arg(e.durationMs / 1000.0)
        .arg(e.samples)
        .arg(levelText(e.lmax), levelText(e.leq), levelText(e.sel), e.open ? QStringLiteral("open") : "closed")
        .arg(e.before.size())
        .arg(e.after.size())
        .arg(e.note.empty() ? QString() : QStringLiteral(" ") + QString::fromStdString(e.note));
}

// Script from 14:00:00: a level in dB is a sample one second after the one
// before; "90*3" three of them; "+3600"/"-3600" set the clock on by (back by)
// that many seconds; "[" and "]" begin and end a marked span half a second
// after the last sample, "[-1.5" ("[+1.5") begins one 1.5 s before (after) it;
// "|" ends the series. Says what the tracker told, in order.
QStringList track(const char* script, int minSeconds, Quantity q) {
    ManualClock clock({2026, 3, 4, 3, 14, 0, 0, 0});
    EventTracker t;
    QStringList said;
    auto now = [&] {
        return clockText(absoluteMilliseconds(clock.now()));
    };
    t.onStarted = [&](const NoiseEvent&) {
        said << QStringLiteral("start ") + now();
    };
    t.onEnded = [&](const NoiseEvent& e) {
        said << QStringLiteral("end ") + now() + (e.open ? " open" : "");
    };
    t.onComplete = [&](const NoiseEvent& e) {
        said << describe(e);
    };
    t.start({800, minSeconds * 1000, 20}, true, q);
    for (const QString& token : QString::fromLatin1(script).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token == QLatin1String("|")) {
            t.finish();
        } else if (token.startsWith(QLatin1Char('[')) || token.startsWith(QLatin1Char(']'))) {
            const ClockReading m = clock.read();
            const int64_t by = token.size() > 1 ? int64_t(token.mid(1).toDouble() * 1000) : 500;
            if (token[0] == QLatin1Char('['))
                t.beginSpan(m.utcMs + by, absoluteMilliseconds(m.local) + by, "truck");
            else
                t.endSpan(m.utcMs + by, absoluteMilliseconds(m.local) + by);
        } else if (token.startsWith(QLatin1Char('+')) || token.startsWith(QLatin1Char('-'))) {
            clock.advanceMs(token.toLongLong() * 1000);
        } else {
            const QStringList part = token.split(QLatin1Char('*'));
            for (int i = 0; i < part.value(1, QStringLiteral("1")).toInt(); ++i) {
                clock.advanceMs(1000);
                const ClockReading s = clock.read();
                t.add(s.utcMs, absoluteMilliseconds(s.local), int32_t(std::lround(part[0].toDouble() * 100)));
            }
        }
    }
    return said;
}

// The exceedance rule, then marked spans.
TEST(EventTracker, Scripts) {
    const struct {
        const char* what;
        const char* script;
        const char* said;
        int minSeconds = 10;
        Quantity q = Quantity::Level;
    } cases[] = {
        {"the event level itself starts nothing", "80*20 |", ""},
        {"shorter than the minimum: nothing", "70 90*9 70 |", ""},
        {"exactly the minimum counts, at the sample that ends it", "70 90*10 70*12",
         "start 14:00:12 | end 14:00:12 | E 14:00:02-14:00:12 10s n10 90.0/90.0/100.0 closed b1 a10"},
        {"a dip within the hysteresis holds the event; below it ends", "70 90*3 79 90*6 77 70*9 |",
         "start 14:00:12 | end 14:00:12 | E 14:00:02-14:00:12 10s n10 90.0/89.6/99.6 closed b1 a10"},
        {"level minus hysteresis itself does not end it", "70 90*5 78 90 70 |",
         "start 14:00:07 | end 14:00:09 | E 14:00:02-14:00:09 7s n7 90.0/89.4/97.8 closed b1 a1", 5},
        {"announced once the minimum is reached, then open at the series end", "70*12 90*12 |",
         "start 14:00:23 | end 14:00:24 open | E 14:00:13-14:00:25 12s n12 90.0/90.0/100.8 open b10 a0"},
        {"the series ends before the minimum: nothing", "70 90*5 |", ""},
        {"a clock set forward inside counts one cadence", "70 90*5 +3600 90*5 70 |",
         "start 15:00:12 | end 15:00:12 | E 14:00:02-15:00:12 10s n10 90.0/90.0/100.0 closed b1 a1"},
        {"a clock set back inside counts one cadence", "70 90*5 -3600 90*5 70 |",
         "start 13:00:12 | end 13:00:12 | E 14:00:02-13:00:12 10s n10 90.0/90.0/100.0 closed b1 a1"},
        {"two events, each with its own context", "70 90*2 70*3 95*2 70 |",
         "start 14:00:04 | end 14:00:04 | start 14:00:09 | end 14:00:09 | E 14:00:02-14:00:04 2s n2 90.0/90.0/93.0 "
         "closed b1 a6 | E 14:00:07-14:00:09 2s n2 95.0/95.0/98.0 closed b6 a1",
         2},
        {"across midnight", "+35985 90*20 70 |",
         "start 23:59:56 | end 00:00:06 | E 23:59:46-00:00:06 20s n20 90.0/90.0/103.0 closed b0 a1"},
        {"a span over its samples", "50 [ 60 60 70 ] 50 |",
         "M 14:00:01-14:00:04 3s n3 70.0/66.0/70.8 closed b0 a0 truck"},
        {"the series ends inside it", "50 [ 60*4 |", "M 14:00:01-14:00:06 4.5s n4 60.0/60.0/66.5 open b0 a0 truck"},
        {"begun before the first sample, it starts with it", "[ 60*2 ] |",
         "M 14:00:01-14:00:02 1.5s n2 60.0/60.0/61.8 closed b0 a0 truck"},
        {"pressed before its note was typed: the samples since the key", "50 60 60 [-1.5 70 ] |",
         "M 14:00:01-14:00:04 3s n3 70.0/66.0/70.8 closed b0 a0 truck"},
        {"a sample from before the key, handed over after it, is not the span's", "50 [+1.5 60 70 ] |",
         "M 14:00:02-14:00:03 1s n1 70.0/70.0/70.0 closed b0 a0 truck"},
        {"a note typed for longer than the samples kept: from the newest sample", "50 60 60 [-12 70 ] |",
         "M 14:00:03-14:00:04 1.5s n2 70.0/67.4/69.2 closed b0 a0 truck"},
        {"an amplitude gives no maximum", "50 [ 60 60 70 ] |",
         "M 14:00:01-14:00:04 3s n3 -/66.0/70.8 closed b0 a0 truck", 10, Quantity::Amplitude},
        {"a running Leq gives no level of a span", "50 [ 60 60 70 ] |",
         "M 14:00:01-14:00:04 3s n3 -/-/- closed b0 a0 truck", 10, Quantity::RunningLeq},
        {"the rule does not run on values without instant levels", "70 90*12 70 |", "", 10, Quantity::RunningMax},
    };
    for (const auto& c : cases)
        EXPECT_EQ(track(c.script, c.minSeconds, c.q).join(" | "), c.said) << c.what;
}

TEST(EventsFile, RowsReadBackUnderTheRecordSeparators) {
    NoiseEvent e;
    e.startLocalMs = localMs(2026, 3, 4, 23, 59, 46, 250);
    e.endLocalMs = localMs(2026, 3, 5, 0, 0, 6, 250);
    e.durationMs = 20000;
    e.samples = 20;
    e.lmax = 92.3;
    e.leq = 88.04;
    e.sel = 101.05;
    e.before = {{e.startLocalMs - 1000, 7010}};
    e.after = {{e.endLocalMs, 6995}};
    NoiseEvent m;
    m.kind = EventKind::Marker;
    m.startLocalMs = localMs(2026, 3, 5, 0, 1, 0);
    m.endLocalMs = m.startLocalMs + 1500;
    m.durationMs = 1500;
    m.open = true;
    m.note = "bird; on the mic\r\nagain";
    StatisticsConfig c;
    c.columnSeparator = QLatin1Char('\t');
    c.decimalSeparator = QLatin1Char('.');
    QByteArray bytes = eventsHeaderLine(c) + eventCriteriaRow(c, {725, 3000, 15});
    appendEventRows(bytes, c, e);
    appendEventRows(bytes, c, m);
    EXPECT_EQ(
        bytes,
        "Kind\tStart\tEnd\tDuration\tSamples\tLmax\tLeq\tSEL\tState\tNote\r\n"
        "Criteria\t-\t-\t3.0\t-\t72.5\t-\t-\t-\tevent level 72.5 dB / minimum duration 3.0 s / hysteresis 1.5 dB\r\n"
        "Exceedance\t2026-03-04 23:59:46.250\t2026-03-05 00:00:06.250\t20.0\t20\t92.3\t88.0\t101.1\tclosed\t\r\n"
        "Sample\t2026-03-04 23:59:45.250\t2026-03-04 23:59:45.250\t0.0\t1\t70.1\t70.1\t-\tbefore\t\r\n"
        "Sample\t2026-03-05 00:00:06.250\t2026-03-05 00:00:06.250\t0.0\t1\t70.0\t70.0\t-\tafter\t\r\n"
        "Marker\t2026-03-05 00:01:00.000\t2026-03-05 00:01:01.500\t1.5\t0\t-\t-\t-\topen\tbird; on the mic  "
        "again\r\n");
    QTemporaryDir dir;
    const QString path = eventsFilePath(dir.filePath(QStringLiteral("NoiseData_LP_20260304_235900.dat")));
    EXPECT_TRUE(path.endsWith(QLatin1String("/NoiseData_LP_20260304_235900_EVENTS.dat")));
    ASSERT_TRUE(writeBytes(path, bytes + "Marker\t2026-03-05"));  // a torn last line
    const EventsFileContent read = readEventsFile(path);
    ASSERT_TRUE(read.found && read.error.isEmpty());
    ASSERT_EQ(read.events.size(), 2u);
    EXPECT_EQ(
        std::tuple(read.criteria.known, read.criteria.levelDb, read.criteria.minDurationS, read.criteria.hysteresisDb),
        std::tuple(true, 72.5, 3.0, 1.5));
    EXPECT_EQ(describe(read.events[0]), QStringLiteral("E 23:59:46-00:00:06 20s n20 92.3/88.0/101.1 closed b1 a1"));
    EXPECT_EQ(read.events[0].after[0].hundredths, 7000);
    EXPECT_EQ(describe(read.events[1]),
              QStringLiteral("M 00:01:00-00:01:01 1.5s n0 -/-/- open b0 a0 bird; on the mic  again"));
}

}  // namespace
}  // namespace kestro
