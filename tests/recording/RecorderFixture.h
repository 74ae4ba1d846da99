#pragma once
// A recording core on a real protocol state, a hand-driven clock and a
// temporary record directory; samples arrive through the receive event as on
// the wire.

#include "protocol/ProtocolState.h"
#include "recording/EvidenceFiles.h"
#include "recording/SeriesRecorder.h"
#include "shell/AppendFile.h"
#include "shell/EventLog.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

namespace kestro::test {

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class RecorderTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    ManualClock clock{SystemTime{2026, 3, 4, 5, 14, 3, 27, 250}};
    EventLog log{tmp.path(), clock};
    RecorderSettings s;
    ProtocolState ps{clock, log.errorSink()};
    std::unique_ptr<SeriesRecorder> rec;
    int64_t writerNs = 0;

    QString recDir() const { return tmp.path() + QStringLiteral("/rec"); }
    QString dataDir() const { return tmp.path() + QStringLiteral("/data"); }
    QString inRec(const char* name) const { return recDir() + QLatin1Char('/') + QLatin1String(name); }

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("rec")));
        s.RecordDirectory = recDir();
        rec = std::make_unique<SeriesRecorder>(ps.device(), s, clock, log);
        // The writer's time moves only when a test moves it, as on an idle machine: its tick
        // budget never runs out and no sync falls due behind a test's back.
        rec->setMonotonic([this] { return writerNs; });
        rec->setStateDirectory(dataDir());
    }
    // The device in Lp with recording just enabled; `direct` skips the wait for the first answer.
    void arm(bool direct = false) {
        moduleOf(ps).KestroState.DevFunction = 1;
        moduleOf(ps).KestroState.DevVariant = 1;
        ps.setRecordState(direct ? 2 : 1);
        ps.setBufferRestart(3);
    }
    // One answer line stamped at the current time; then 100 ms pass.
    void feed(const std::string& line) {
        ps.receiveEvent(line);
        clock.advanceMs(100);
    }
    void slow(int level, int status = 0, const char* key = "lp") {
        feed(std::string(key) + " " + std::to_string(level) + " " + std::to_string(status) + "\r");
    }
    // The evidence step of the poll cycle: calibration readings handed on, side files.
    void tickEvidence() {
        ps.handOffCalibration(*rec);
        rec->tickEvidence();
    }
    // Step 11 of the poll cycle.
    void tick() {
        if (ps.RecordState() == 2 && ps.device().DevFunction != 0) ps.handOff(*rec);
    }
    // From here on, opening a record file fails with err while `failing` holds.
    bool failing = false;
    void failOpensWith(int err) {
        rec->setStateDirectory(dataDir(), [this, err](const QString& p) {
            if (!failing) return openForAppend(p);
            errno = err;
            return -1;
        });
    }
    // The side file of record as JSON, once it is closed (its hashes are taken by a worker).
    QJsonObject closedSideFile(const QString& record) {
        auto side = [&] {
            return QJsonDocument::fromJson(readFile(sideFilePath(record))).object();
        };
        for (int i = 0; i < 500 && side()[QLatin1String("state")].toString() != "closed"; ++i) {
            QThread::msleep(10);
            clock.advanceMs(100);
            tickEvidence();
        }
        return side();
    }
    int logCount(int err) const {
        return int(logText().count(": frmKestroRecord.Timer1.Error: " + QByteArray::number(err) + "\r\n"));
    }
    QByteArray logText() const { return readFile(log.mainLogPath()); }
    QStringList filesIn(const QString& dir) const { return QDir(dir).entryList(QDir::Files, QDir::Name); }
    // The record files, without the statistics and side files beside them.
    QStringList filesInRec() const {
        QStringList out;
        for (const QString& n : filesIn(recDir()))
            if (isRecordFileName(n)) out << n;
        return out;
    }
};

}  // namespace kestro::test
