#include "recording/EventOutputs.h"

#include "protocol/DeviceCodes.h"

#include <gtest/gtest.h>
#include <QJsonDocument>

using namespace kestro;

namespace {

// One exceedance as every outlet renders it, at its end (cut short, no Leq)
// and while it runs, from a station five and a half hours behind UTC.
TEST(EventOutputs, OneEventEveryOutlet) {
    EventNotice n;
    n.typeWord = "LP";
    n.recordPath = "/rec/NoiseData_LP_20260305_140300.dat";
    n.levelTenths = 800;
    n.count = 3;
    n.serialNumber = QString::fromStdString(serialNumberText(1234567));
    NoiseEvent& e = n.event;
    e.startLocalMs = int64_t(dayNumber(2026, 3, 5)) * 86400000 + (14 * 3600 + 3 * 60 + 27) * 1000 + 250;
    e.startUtcMs = e.startLocalMs - kUnixEpochAbsoluteMs + 330 * 60000;
    e.durationMs = 42049;
    e.endLocalMs = e.startLocalMs + e.durationMs;
    e.endUtcMs = e.startUtcMs + e.durationMs;
    e.lmax = 93.46;
    e.sel = 101.04;
    e.open = true;
    n.phase = EventNotice::Phase::Ended;
    auto notification = [&n] {
        const EventNotification told = eventNotification(n);
        return QStringList({told.summary, told.body, told.urgent ? "urgent" : ""}).join(" | ");
    };
    QStringList env = eventEnvironment(n).toStringList();
    env.sort();
    EXPECT_EQ(env.join(' ').remove("KESTRO_EVENT_"),
              "COUNT=3 DURATION_S=42.0 END=2026-03-05T14:04:09.299-05:30 LEQ_DB= LEVEL_DB=80.0 LMAX_DB=93.5 OPEN=1 "
              "PHASE=end RECORD_FILE=/rec/NoiseData_LP_20260305_140300.dat SEL_DB=101.0 SERIAL=01234567 "
              "START=2026-03-05T14:03:27.250-05:30 STREAM=LP");
    EXPECT_EQ(QJsonDocument(eventJson(n)).toJson(QJsonDocument::Compact),
              R"({"count":3,"duration_s":42.049,"end":"2026-03-05T14:04:09.299-05:30","leq_db":null,"level_db":80,)"
              R"("lmax_db":93.5,"open":true,"phase":"end","sel_db":101,"start":"2026-03-05T14:03:27.250-05:30",)"
              R"("type":"LP"})");
    EXPECT_EQ(notification(),
              "Noise event ended | 14:03:27 \u2013 14:04:09, 42.0 s (cut short): LAmax 93.5 dB, SEL 101.0 dB | ");
    // While it runs it has no end anywhere, and its notification is the urgent one.
    n.phase = EventNotice::Phase::Started;
    EXPECT_EQ(eventEnvironment(n).value("KESTRO_EVENT_END", "unset"), "");
    EXPECT_TRUE(eventJson(n).value("end").isNull());
    EXPECT_EQ(notification(), "Noise event: above 80.0 dB | Since 14:03:27 (LP), LAmax so far 93.5 dB | urgent");
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
