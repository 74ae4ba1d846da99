#pragma once
// A recording core on a real protocol state, a hand-driven clock and a
// temporary record directory; samples arrive through the receive event as on
// the wire.

#include "PrintBytes.h"
#include "protocol/ProtocolState.h"
#include "recording/EvidenceFiles.h"
#include "recording/SeriesRecorder.h"
#include "shell/EventLog.h"
#include "support/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QLatin1Char('|')).toStdString() << '}';
}
QT_END_NAMESPACE

namespace kestro::test {

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class RecorderTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    ManualClock clock{SystemTime{2026, 3, 4, 5, 14, 3, 27, 250}};
    EventLog log{tmp.path(), clock};
    RecorderSettings s;
    ProtocolState ps{clock, log.ErrorSink()};
    std::unique_ptr<SeriesRecorder> rec;

    QString RecDir() const { return tmp.path() + QStringLiteral("/rec"); }
    QString DataDir() const { return tmp.path() + QStringLiteral("/data"); }
    QString InRec(const char* name) const { return RecDir() + QLatin1Char('/') + QLatin1String(name); }

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("rec")));
        s.RecordDirectory = RecDir();
        rec = std::make_unique<SeriesRecorder>(ps, s, clock, log);
        rec->SetDataDirectory(DataDir());
    }
    // The device in Lp with recording just enabled; `direct` skips the wait for the first answer.
    void Arm(bool direct = false) {
        ps.KestroState.DevFunction = 1;
        ps.KestroState.DevVariant = 1;
        ps.RecordState = direct ? 2 : 1;
        ps.BufferRestart = 3;
    }
    // One answer line stamped at the current time; then 100 ms pass.
    void Feed(const std::string& line) {
        ps.ReceiveEvent(line);
        clock.AdvanceMs(100);
    }
    void Slow(int level, int status = 0, const char* key = "lp") {
        Feed(std::string(key) + " " + std::to_string(level) + " " + std::to_string(status) + "\r");
    }
    // Step 11 of the poll cycle.
    void Tick() {
        if (ps.RecordState == 2 && ps.KestroState.DevFunction != 0) rec->HandOff();
    }
    int LogCount(int err) const {
        const QByteArray tail = ": frmKestroRecord.Timer1.Error: " + QByteArray::number(err) + "\r";
        int n = 0;
        for (const QByteArray& l : ReadFile(log.MainLogPath()).split('\n'))
            n += l.endsWith(tail);
        return n;
    }
    QByteArray LogText() const { return ReadFile(log.MainLogPath()); }
    QStringList FilesIn(const QString& dir) const { return QDir(dir).entryList(QDir::Files, QDir::Name); }
    // The record files, without the statistics and side files beside them.
    QStringList FilesInRec() const {
        QStringList out;
        for (const QString& n : FilesIn(RecDir()))
            if (isRecordFileName(n)) out << n;
        return out;
    }
};

}  // namespace kestro::test
