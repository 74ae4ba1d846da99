#include "remote/RemoteStation.h"
#include "remote/StationMonitor.h"
#include "statistics/StatisticsRecorder.h"
#include "support/ManualClock.h"
#include "support/MeterStates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

using namespace kestro;

namespace {

QJsonObject json(const QByteArray& bytes) { return QJsonDocument::fromJson(bytes).object(); }

TEST(StationMonitor, StateFieldsAndWhatCountsAsUnknown) {
    constexpr int32_t kAll = kAllItemsReceived, kReset = 9999;
    const struct {
        const char* what;
        KestroStateRecord state;
        bool recording;
        const char* json;  // the state without its time
    } rows[] = {
        {"running, LEQ, auto range", meterState(true, kAll, 2, 2 | 4, 734, 0, 3, 1234567), true,
         R"({"auto":true,"battery":"full","function":"LEQ","level_db":73.4,"online":true,"overflow":false,)"
         R"("range":"50-110 dB","recording":true,"serial":"01234567","underflow":false})"},
        {"reset, nothing received", meterState(false, 0, kReset, kReset, kReset, kReset, kReset, 999999999), false,
         R"({"auto":null,"battery":null,"function":null,"level_db":null,"online":false,"overflow":null,)"
         R"("range":null,"recording":false,"serial":null,"underflow":null})"},
        {"error reading, overflow and underflow", meterState(true, kAll, 2, 2 | 4, -1, 4 | 1, 3, 1234567), false,
         R"({"auto":true,"battery":"full","function":"LEQ","level_db":null,"online":true,"overflow":true,)"
         R"("range":"50-110 dB","recording":false,"serial":"01234567","underflow":true})"},
        {"negative level, fixed range, low battery, MAX", meterState(true, kAll, 3, 3, -25, 0, 2, 1234567), false,
         R"({"auto":false,"battery":"low","function":"MAX","level_db":-2.5,"online":true,"overflow":false,)"
         R"("range":"70-130 dB","recording":false,"serial":"01234567","underflow":false})"},
        {"items whose bits are not set are not known", meterState(true, 128, 2, 2 | 4, 734, 0, 3, 1234567), false,
         R"({"auto":null,"battery":null,"function":null,"level_db":null,"online":true,"overflow":null,)"
         R"("range":null,"recording":false,"serial":"01234567","underflow":null})"},
        {"values out of range, AUTO without a range", meterState(true, kAll, 7, 4, kReset, 0, 0, 1234567), false,
         R"({"auto":null,"battery":null,"function":null,"level_db":null,"online":true,"overflow":false,)"
         R"("range":null,"recording":false,"serial":"01234567","underflow":false})"},
    };
    ManualClock clock;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        StationMonitor m;
        m.update(r.state, r.recording, false, clock.read());
        QJsonObject o = m.stateObject();
        EXPECT_EQ(o.take("time").toString().toStdString(), "2026-03-05T14:03:27.250+00:00");
        for (const char* events : {"event", "event_detection", "events_total", "last_event"})
            o.remove(QLatin1String(events));
        EXPECT_EQ(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(), r.json);
        const QByteArray metrics = m.metricsText();
        EXPECT_EQ(metrics.contains("kestro_level_db NaN\n"), o.value("level_db").isNull());
        EXPECT_TRUE(metrics.contains(r.state.DeviceOnline ? "kestro_device_online 1\n" : "kestro_device_online 0\n"));
    }
}

TEST(StationMonitor, StateAndLevelsAreToldWhenTheyChange) {
    ManualClock clock;
    StationMonitor m;
    QSignalSpy changed(&m, &StationMonitor::stateChanged);
    QSignalSpy serial(&m, &StationMonitor::serialKnown);
    std::vector<StationSample> samples;
    QObject::connect(&m, &StationMonitor::sampleAdded, [&](const StationSample& s) { samples.push_back(s); });
    KestroStateRecord s = runningMeter();
    // Not recording: every new level of the state is a sample, a repeated one is not, although the time moved.
    for (int16_t level : {734, 734, 735, 735, 700}) {
        s.DevLevel = level;
        m.update(s, false, false, clock.read());
        clock.advanceMs(100);
    }
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(samples[2].tenths, 700);
    EXPECT_FALSE(samples[2].recorded);
    s.DevBattery = 2;
    m.update(s, false, false, clock.read());
    EXPECT_EQ(changed.count(), 4);
    m.update(s, true, false, clock.read());
    EXPECT_EQ(changed.count(), 5);
    // An error reading is no sample; the level after it is one even when it is the same.
    s.DevLevel = -1;
    m.update(s, false, false, clock.read());
    s.DevLevel = 700;
    m.update(s, false, false, clock.read());
    EXPECT_EQ(samples.size(), 4u);
    // Recording: the samples come from the hand-off, with their own stamps.
    s.DevLevel = 650;
    m.update(s, true, true, clock.read());
    EXPECT_EQ(samples.size(), 4u);
    MeasurementRecord r;
    r.Flags = 2;
    r.Level = 651;
    r.LevelFlags = 4;
    r.SysTime = clock.now();
    r.Instant = clock.utcMs();
    m.addRecordedSample(r);
    ASSERT_EQ(samples.size(), 5u);
    EXPECT_TRUE(samples[4].recorded);
    const QJsonObject o = m.sampleObject(samples[4]);
    EXPECT_EQ(o.value("db").toDouble(), 65.1);
    EXPECT_TRUE(o.value("overflow").toBool());
    EXPECT_FALSE(o.value("underflow").toBool());
    EXPECT_EQ(o.value("t").toString(), m.offsets().isoNow());
    const QJsonObject msg = json(levelMessage(m, samples[4]));
    EXPECT_EQ(msg.keys(), (QStringList{"db", "function", "overflow", "t", "underflow"}));
    EXPECT_EQ(msg.value("function").toString(), "LEQ");
    // The serial number is told once, and kept while the meter is away.
    EXPECT_EQ(serial.count(), 1);
    s.DataValid = 0;
    s.DevSerialNo = 999999999;
    m.update(s, false, false, clock.read());
    EXPECT_EQ(m.lastSerial().toStdString(), "01234567");
    s = runningMeter();
    s.DevSerialNo = 42;
    m.update(s, false, false, clock.read());
    EXPECT_EQ(serial.count(), 2);
    EXPECT_EQ(m.lastSerial().toStdString(), "00000042");
}

TEST(StationMonitor, KeepsTenMinutesOfLevels) {
    ManualClock clock;
    StationMonitor m;
    KestroStateRecord s = runningMeter();
    for (int i = 0; i < 900; ++i) {  // 15 minutes, one level a second
        s.DevLevel = int16_t(600 + i % 2);
        m.update(s, false, false, clock.read());
        clock.advanceMs(1000);
    }
    ASSERT_FALSE(m.history().empty());
    const int64_t span = m.history().back().utcMs - m.history().front().utcMs;
    EXPECT_LE(span, StationMonitor::kHistoryMs);
    EXPECT_GE(span, StationMonitor::kHistoryMs - 1000);
    const QJsonObject h = json(m.historyJson());
    EXPECT_EQ(h.value("points").toArray().size(), qsizetype(m.history().size()));
    const QJsonArray first = h.value("points").toArray().first().toArray();
    EXPECT_EQ(int64_t(first[0].toDouble()), m.history().front().utcMs);
    // However fast levels come, the history holds a bounded number of them.
    MeasurementRecord r;
    for (size_t i = 0; i <= StationMonitor::kHistoryMax; ++i) {
        r.Instant = clock.utcMs() + int64_t(i);
        m.addRecordedSample(r);
    }
    EXPECT_EQ(m.history().size(), StationMonitor::kHistoryMax);
    EXPECT_EQ(m.history().back().utcMs, r.Instant);
}

TEST(StationMonitor, FilesOfTheRun) {
    ManualClock clock;  // 2026-03-05 14:03:27.250
    clock.setUtcOffsetMinutes(60);
    clock.set(SystemTime{2026, 3, 4, 5, 14, 3, 27, 250});
    StationMonitor m;
    m.update(runningMeter(), true, true, clock.read());
    QSignalSpy changed(&m, &StationMonitor::filesChanged);
    const double start = dateFromSystemTime(clock.now());
    m.updateFile(1, StationFile{"NoiseData_LEQ_20260305_140327.dat", false, start, 0.0});
    m.updateFile(2, StationFile{"NoiseData_LEQF_20260305_140327.dat", true, start, 0.0});
    EXPECT_EQ(changed.count(), 2);  // new files are news at once
    m.updateFile(1, StationFile{"NoiseData_LEQ_20260305_140327.dat", false, start, 90.5 / 86400.0});
    clock.advanceMs(StationMonitor::kFilesNoticeMs - 1);
    m.update(runningMeter(), true, true, clock.read());
    EXPECT_EQ(changed.count(), 2);  // a duration waits
    clock.advanceMs(1);
    m.update(runningMeter(), true, true, clock.read());
    EXPECT_EQ(changed.count(), 3);
    const QJsonArray files = QJsonDocument::fromJson(m.filesJson()).array();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].toObject().value("name").toString(), "NoiseData_LEQ_20260305_140327.dat");
    EXPECT_EQ(files[0].toObject().value("start").toString(), "2026-03-05T14:03:27.250+01:00");
    EXPECT_EQ(files[0].toObject().value("duration_s").toDouble(), 90.5);
    EXPECT_EQ(files[1].toObject().value("stream").toString(), "fast");
}

// Statistics as the recording core makes them: the current interval and the
// series while recording, the completed intervals as they come.
TEST(StationMonitor, StatisticsAndMetrics) {
    ManualClock clock;
    clock.set(SystemTime{2026, 3, 4, 5, 14, 58, 0, 0});
    StatisticsRecorder slow(StatisticsRecorder::Stream::Slow, {});
    StatisticsConfig config;
    config.intervalSeconds = 60;
    config.limitTenths = 700;
    slow.setConfig(config);
    StationMonitor m;
    m.setStatisticsSources(&slow, nullptr);
    slow.onResult = [&](const IntervalResult& r) {
        m.addResult(false, r);
    };
    QSignalSpy intervals(&m, &StationMonitor::intervalCompleted);
    QSignalSpy notices(&m, &StationMonitor::statisticsChanged);

    EXPECT_TRUE(json(m.statisticsJson()).value("slow").toObject().value("type").isNull());
    slow.startSeries("/rec/NoiseData_LP_20260305_145800.dat", "LP");
    for (int i = 0; i < 1500; ++i) {  // 2.5 minutes of ten levels a second: 60 dB, then 80 dB
        MeasurementRecord r;
        r.Flags = 1;
        r.Level = i < 1200 ? 600 : 800;
        r.SysTime = clock.now();
        r.Instant = clock.utcMs();
        slow.addSample(r);
        slow.advanceClock(clock.now());
        m.update(runningMeter(), true, true, clock.read());
        clock.advanceMs(100);
    }
    EXPECT_EQ(intervals.count(), 2);  // 14:58 and 14:59 are complete
    EXPECT_GE(notices.count(), 140);
    EXPECT_LE(notices.count(), 151);  // rate limited: at most once a second, not on every tick

    const QJsonObject st = json(m.statisticsJson()).value("slow").toObject();
    EXPECT_TRUE(st.value("active").toBool());
    EXPECT_EQ(st.value("limit_db").toDouble(), 70.0);
    const QJsonArray done = st.value("completed").toArray();
    ASSERT_EQ(done.size(), 2);
    const QJsonObject first = done[0].toObject();
    EXPECT_EQ(first.value("start").toString(), "2026-03-05T14:58:00.000+00:00");
    EXPECT_EQ(first.value("samples").toInt(), 600);
    EXPECT_EQ(first.value("leq").toDouble(), 60.0);
    EXPECT_FALSE(first.value("over_limit").toBool());
    const QJsonObject current = st.value("current").toObject();
    EXPECT_EQ(current.value("samples").toInt(), 300);
    EXPECT_EQ(current.value("leq").toDouble(), 80.0);
    EXPECT_TRUE(current.value("over_limit").toBool());
    EXPECT_EQ(st.value("series").toObject().value("samples").toInt(), 1500);
    EXPECT_EQ(json(m.statisticsJson(1)).value("slow").toObject().value("completed").toArray().size(), 1);
    EXPECT_TRUE(json(m.statisticsJson()).value("fast").toObject().value("current").isNull());

    m.setCounters(RecordCounters{150, 1200, 3, 2});
    const QByteArray metrics = m.metricsText();
    for (const char* line :
         {"kestro_device_online 1\n", "kestro_level_db 73.4\n", "kestro_recording 1\n",
          "kestro_samples_written_total{stream=\"slow\"} 150\n", "kestro_samples_written_total{stream=\"fast\"} 1200\n",
          "kestro_record_errors_total 3\n", "kestro_side_files_closing 2\n",
          "kestro_interval_leq_db{stream=\"slow\",type=\"LP\"} 60\n", "# TYPE kestro_samples_written_total counter\n",
          "kestro_info{version=\""})
        EXPECT_TRUE(metrics.contains(line)) << line << "\n" << metrics.toStdString();
    // The series summary at the end is no interval message.
    slow.endSeries();
    EXPECT_EQ(intervals.count(), 3);  // the partial last interval
    EXPECT_FALSE(json(m.statisticsJson()).value("slow").toObject().value("active").toBool());
    EXPECT_EQ(json(m.statisticsJson()).value("slow").toObject().value("series").toObject().value("samples").toInt(),
              1500);

    // A running maximum: its Lmax, no Leq anywhere (null in JSON, no gauge).
    IntervalResult max;
    max.typeWord = "MAX";
    max.quantity = Quantity::RunningMax;
    max.samples = 60;
    max.lmax = 93.5;
    m.addResult(false, max);
    const QJsonObject o = m.resultObject(false, max);
    EXPECT_TRUE(o.value("leq").isNull() && o.value("l90").isNull());
    EXPECT_EQ(o.value("names").toObject().keys(), QStringList{"lmax"});
    const QByteArray maxMetrics = m.metricsText();
    EXPECT_TRUE(maxMetrics.contains("kestro_interval_lmax_db{stream=\"slow\",type=\"MAX\"} 93.5\n"));
    EXPECT_FALSE(maxMetrics.contains("kestro_interval_leq_db{stream=\"slow\""));
    // An exceedance: the state names it while it runs, the counter and the gauge follow.
    QSignalSpy told(&m, &StationMonitor::exceedance);
    EventNotice n;
    n.count = 1;
    n.event.startLocalMs = absoluteMilliseconds(clock.now());
    n.event.startUtcMs = clock.utcMs();
    n.event.lmax = 92.34;
    for (auto phase : {EventNotice::Phase::Started, EventNotice::Phase::Ended}) {
        n.phase = phase;
        m.addEvent(n);
        const bool running = phase == EventNotice::Phase::Started;
        const QJsonObject state = json(m.stateJson());
        EXPECT_EQ(state.value("event").isNull(), !running);
        EXPECT_EQ(state.value(running ? "event" : "last_event").toObject().value("lmax_db").toDouble(), 92.3);
        EXPECT_TRUE(m.metricsText().contains(running ? "kestro_event_running 1\n" : "kestro_event_running 0\n"));
        EXPECT_TRUE(m.metricsText().contains("kestro_events_total 1\n"));
    }
    ASSERT_EQ(told.count(), 2);
    EXPECT_EQ(json(told[1][0].toByteArray()).value("phase").toString(), "end");
    EXPECT_EQ(json(told[1][0].toByteArray()).value("start").toString(), "2026-03-05T15:00:30.000+00:00");
}

TEST(StationMonitor, CalibrationDriftIsBetweenChecksOfOneMeter) {
    const struct {
        const char* what;
        std::vector<std::tuple<int, double, const char*>> readings;  // seconds, dB, serial
        const char* drift;                                           // the metric's line, or none
    } rows[] = {
        {"one check", {{0, 94.0, "1"}, {60, 94.3, "1"}}, nullptr},
        {"readings 120 s apart are one check", {{0, 94.0, "1"}, {120, 95.0, "1"}}, nullptr},
        {"first of the later check against the last of the one before",
         {{0, 93.0, "1"}, {60, 93.9, "1"}, {181, 94.5, "1"}, {190, 95.5, "1"}, {190, 95.5, "1"}},
         "kestro_calibration_drift_db 0.6\n"},
        {"the newest check counts",
         {{0, 94.0, "1"}, {300, 94.8, "1"}, {600, 94.7, "1"}},
         "kestro_calibration_drift_db -0.1\n"},
        {"another meter", {{0, 94.0, "1"}, {300, 94.8, "1"}, {600, 95.6, "2"}}, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        StationMonitor m;
        for (const auto& [s, db, serial] : r.readings)
            m.addCalibration(CalibrationCheck{s * 1000LL, db, QString::fromLatin1(serial)});
        const QByteArray metrics = m.metricsText();
        EXPECT_EQ(metrics.contains("kestro_calibration_drift_db"), r.drift != nullptr) << metrics.toStdString();
        EXPECT_TRUE(!r.drift || metrics.contains(r.drift)) << metrics.toStdString();
    }
}

TEST(StationMonitor, DailyReportsNewestFirstAndTheirTime) {
    StationMonitor m;
    EXPECT_FALSE(m.metricsText().contains("kestro_last_daily_report"));
    // 33 days given out of order, one of them twice: 31 kept, the newest day first; the time is the latest made.
    for (int i : {5,  1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                  18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 5})
        m.addDailyReport(QStringLiteral("{\"date\":\"2026-01-%1\"}").arg(i, 2, 10, QLatin1Char('0')).toUtf8(),
                         int64_t{i == 33 ? 1800000000 : 1700000000 + i} * 1000);
    const QJsonArray days = QJsonDocument::fromJson(m.daysJson()).array();
    ASSERT_EQ(days.size(), 31);
    EXPECT_EQ(days.first()["date"].toString(), QStringLiteral("2026-01-33"));
    EXPECT_EQ(days.last()["date"].toString(), QStringLiteral("2026-01-03"));
    EXPECT_TRUE(m.metricsText().contains("\nkestro_last_daily_report_timestamp_seconds 1800000000\n"));
}

}  // namespace
