#pragma once
// The main window over a fake serial port, a temporary settings store and a
// manual clock; timers stay off and the tests run the ticks themselves.

#include "link/frmCOMx.h"
#include "protocol/ProtocolState.h"
#include "recording/EvidenceFiles.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"
#include "support/FakeSerialPort.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"
#include "ui/controller/frmKestroRecord.h"
#include "ui/display/PictureError.h"
#include "ui/recording/LevelGraph.h"

#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QLatin1Char('|')).toStdString() << '}';
}
QT_END_NAMESPACE

namespace kestro::test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("KESTRO_COM1", QFile::encodeName(tmp.filePath(QStringLiteral("meter"))));
        Store(kDeviceSection, QStringLiteral("COMPort"), 1, REG_DWORD_);
        ASSERT_TRUE(QDir().mkpath(recordDir()));
        Store(kRecorderSection, QStringLiteral("RecordDirectory"), recordDir(), REG_SZ_);
        ps.SetErrorLog(log.ErrorSink());
        com = std::make_unique<frmCOMx>(ps, reg, log, messages, [this] {
            auto p = std::make_unique<FakeSerialPort>();
            port = p.get();
            return p;
        });
        ASSERT_EQ(com->InitForm(), kTrue);
        w = std::make_unique<frmKestroRecord>(ps, *com, reg, log, clock, false);
        QObject::connect(w.get(), &frmKestroRecord::deviceStarted, [this] { ++started; });
        QObject::connect(w.get(), &frmKestroRecord::startupCompleted, [this] { ++completed; });
        QObject::connect(w.get(), &frmKestroRecord::deviceLost, [this] { ++lost; });
        w->ShowMainWindow();
        port->ClearWritten();
    }
    void TearDown() override { qunsetenv("KESTRO_COM1"); }

    void Store(const char* section, const QString& name, const QVariant& value, int32_t type) {
        cRegistry r(files);
        r.ClassKey = HKEY_CURRENT_USER_;
        r.SectionKey = QString::fromLatin1(section);
        r.ValueKey = name;
        r.ValueType = type;
        r.SetValue(value);
    }
    QString recordDir() const { return tmp.filePath(QStringLiteral("records")); }
    // The record files, without the statistics and side files beside them.
    QStringList RecordFiles() const {
        QStringList out;
        for (const QString& n : QDir(recordDir()).entryList(QDir::Files))
            if (isRecordFileName(n)) out << n;
        return out;
    }

    // One poll tick; the commands it put on the wire.
    QStringList Tick() {
        port->ClearWritten();
        clock.AdvanceMs(100);
        w->Timer1_Timer();
        return port->commands();
    }
    void Feed(const char* answer) { port->feed(QByteArray(answer)); }
    // Through the serial-number gate; then `steps` status answers.
    void PassGate(const char* status = "gds 11203\r", int steps = 0) {
        Tick();
        Feed("gsn 12345678\r");
        Tick();
        for (int i = 0; i < steps; ++i) {
            Feed(status);
            Tick();
        }
    }
    void StartDevice(const char* status = "gds 11203\r") { PassGate(status, 5); }

    int LogCount(const QString& tail) const {
        QFile f(log.MainLogPath());
        if (!f.open(QIODevice::ReadOnly)) return 0;
        int n = 0;
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n")))
            n += l.endsWith(tail);
        return n;
    }
    template <size_t N>
    static int Checked(const std::array<QRadioButton*, N>& opts) {
        for (size_t i = 0; i < N; ++i)
            if (opts[i]->isChecked()) return int(i);
        return -1;
    }
    int CheckedMode() const { return Checked(w->optMeasurementMode); }
    int CheckedRange() const { return Checked(w->optRange); }

    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))};
    cRegistry reg{files};
    ProtocolState ps{clock};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCOMx> com;
    std::unique_ptr<frmKestroRecord> w;
    int started = 0, completed = 0, lost = 0;
};

inline QStringList Cmds(std::initializer_list<const char*> l) {
    QStringList out;
    for (const char* s : l)
        out << QString::fromLatin1(s);
    return out;
}

}  // namespace kestro::test
