#include "recording/EventOutputs.h"

#include "protocol/DeviceCodes.h"

#include <gtest/gtest.h>
#include <QJsonDocument>

using namespace kestro;

namespace {

// One exceedance as every outlet renders it, at its start and at its end
// (cut short, no Leq), from a station an hour ahead of UTC.
TEST(EventOutputs, OneEventEveryOutlet) {
    EventNotice n;
    n.typeWord = "LP";
    n.recordPath = "/rec/NoiseData_LP_20260305_140300.dat";
    n.levelTenths = 800;
    n.count = 3;
    n.serialNumber = QString::fromStdString(serialNumberText(1234567));
    NoiseEvent& e = n.event;
    e.startLocalMs = int64_t(dayNumber(2026, 3, 5)) * 86400000 + (14 * 3600 + 3 * 60 + 27) * 1000 + 250;
    e.startUtcMs = e.startLocalMs - kUnixEpochAbsoluteMs - 3600000;
    e.durationMs = 42049;
    e.endLocalMs = e.startLocalMs + e.durationMs;
    e.endUtcMs = e.startUtcMs + e.durationMs;
    e.lmax = 93.46;
    e.sel = 101.04;
    e.open = true;
    const struct {
        EventNotice::Phase phase;
        const char* environment;
        const char* json;
        const char* notification;
    } rows[] = {
        {EventNotice::Phase::Started,
         "COUNT=3 DURATION_S=42.0 END= LEQ_DB= LEVEL_DB=80.0 LMAX_DB=93.5 OPEN=1 PHASE=start "
         "RECORD_FILE=/rec/NoiseData_LP_20260305_140300.dat SEL_DB=101.0 SERIAL=01234567 "
         "START=2026-03-05T14:03:27.250+01:00 STREAM=LP",
         R"({"count":3,"duration_s":42.049,"end":null,"leq_db":null,"level_db":80,"lmax_db":93.5,"open":true,)"
         R"("phase":"start","sel_db":101,"start":"2026-03-05T14:03:27.250+01:00","type":"LP"})",
         "Noise event: above 80.0 dB | Since 14:03:27 (LP), LAmax so far 93.5 dB | urgent"},
        {EventNotice::Phase::Ended,
         "COUNT=3 DURATION_S=42.0 END=2026-03-05T14:04:09.299+01:00 LEQ_DB= LEVEL_DB=80.0 LMAX_DB=93.5 OPEN=1 "
         "PHASE=end RECORD_FILE=/rec/NoiseData_LP_20260305_140300.dat SEL_DB=101.0 SERIAL=01234567 "
         "START=2026-03-05T14:03:27.250+01:00 STREAM=LP",
         R"({"count":3,"duration_s":42.049,"end":"2026-03-05T14:04:09.299+01:00","leq_db":null,"level_db":80,)"
         R"("lmax_db":93.5,"open":true,"phase":"end","sel_db":101,"start":"2026-03-05T14:03:27.250+01:00",)"
         R"("type":"LP"})",
         "Noise event ended | 14:03:27 \u2013 14:04:09, 42.0 s (cut short): LAmax 93.5 dB, SEL 101.0 dB | "},
    };
    for (const auto& r : rows) {
        n.phase = r.phase;
        QStringList env = eventEnvironment(n).toStringList();
        env.sort();
        EXPECT_EQ(env.join(' ').remove("KESTRO_EVENT_").toStdString(), r.environment);
        EXPECT_EQ(QJsonDocument(eventJson(n)).toJson(QJsonDocument::Compact).toStdString(), r.json);
        const EventNotification told = eventNotification(n);
        EXPECT_EQ(QStringList({told.summary, told.body, told.urgent ? "urgent" : ""}).join(" | "),
                  QString::fromUtf8(r.notification));
    }
}

// Eight digits wherever the serial number shows, zero padded; nothing for a
// sentinel, for a number the wire cannot carry or while none is valid.
TEST(EventOutputs, SerialNumberText) {
    for (const auto& [serial, text] : {std::pair{1234567, "01234567"},
                                       {0, "00000000"},
                                       {99999999, "99999999"},
                                       {100000000, ""},
                                       {kSerialNotReceived, ""},
                                       {kSerialNotShown, ""},
                                       {-1, ""}})
        EXPECT_EQ(serialNumberText(serial), text) << serial;
    KestroStateRecord k;
    k.DevSerialNo = 42;
    EXPECT_EQ(serialNumberText(k), "");
    k.DataValid = kValidSerialNo;
    EXPECT_EQ(serialNumberText(k), "00000042");
}

}  // namespace
