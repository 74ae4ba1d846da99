#pragma once
// The session over a fake serial port, a temporary settings store and a
// manual clock, without any view: the tests run the ticks themselves and read
// what the session announced as one line per signal.

#include "link/frmCOMx.h"
#include "recording/EvidenceFiles.h"
#include "session/Session.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "support/FakeSerialPort.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageSink.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(QLatin1Char('|')).toStdString() << '}';
}
QT_END_NAMESPACE

namespace kestro::test {

inline QStringList Cmds(std::initializer_list<const char*> l) {
    QStringList out;
    for (const char* s : l)
        out << QString::fromLatin1(s);
    return out;
}

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid() && QDir().mkpath(recordDir()));
        qputenv("KESTRO_COM1", QFile::encodeName(meter()));
        writeSetting(reg, setting(SettingId::COMPort), 1);
        writeSetting(reg, setting(SettingId::RecordDirectory), recordDir());
        ps.SetErrorLog(log.ErrorSink());
        com = std::make_unique<frmCOMx>(ps, reg, log, messages, [this] {
            auto p = std::make_unique<FakeSerialPort>();
            port = p.get();
            return p;
        });
        ASSERT_EQ(com->InitForm(), kTrue);
        s = std::make_unique<Session>(ps, *com, reg, log, clock);
        s->Reset_KestroStateOld();
        s->Reset_KestroState();
        s->InitForm();
        Observe();
        port->ClearWritten();
    }
    void TearDown() override { qunsetenv("KESTRO_COM1"); }

    // Every announcement as a line: "function 2 opt", "range 6 0 opt", "armed 1", ...
    // ("opt": OptionUpdate was set while it was announced).
    void Observe() {
        auto note = [this](QString line) {
            said << line;
        };
        auto opt = [this] {
            return s->OptionUpdate ? QStringLiteral(" opt") : QString();
        };
        Session* p = s.get();
        QObject::connect(p, &Session::wentOnline, [=] { note("online"); });
        QObject::connect(p, &Session::wentOffline, [=] { note("offline" + opt()); });
        QObject::connect(p, &Session::functionChanged,
                         [=](int16_t f, int16_t) { note(QString("function %1").arg(f) + opt()); });
        QObject::connect(p, &Session::levelChanged, [=](int16_t v) { note(QString("level %1").arg(v)); });
        QObject::connect(p, &Session::levelStatusChanged, [=](int16_t v) { note(QString("status %1").arg(v)); });
        QObject::connect(p, &Session::rangeChanged,
                         [=](int16_t r, int o) { note(QString("range %1 %2").arg(r).arg(o) + opt()); });
        QObject::connect(p, &Session::batteryChanged, [=](int16_t v) { note(QString("battery %1").arg(v)); });
        QObject::connect(p, &Session::recordingChanged, [=](bool on) { note(QString("armed %1").arg(on)); });
        QObject::connect(p, &Session::timeAxisRestarted, [=] { note("axis"); });
        QObject::connect(p, &Session::statusText, [=](const QString& t) { note("text " + t); });
        QObject::connect(p, &Session::deviceStarted, [=] { note("started"); });
        QObject::connect(p, &Session::startupCompleted, [=] { note("completed"); });
        QObject::connect(p, &Session::deviceLost, [=] { note("lost"); });
    }
    QStringList Said() { return std::exchange(said, {}); }

    QString meter() const { return tmp.filePath(QStringLiteral("meter")); }
    QString recordDir() const { return tmp.filePath(QStringLiteral("records")); }
    // The slow record files with their values, oldest first.
    QList<QStringList> RecordValues() const {
        QList<QStringList> out;
        for (const QString& name : QDir(recordDir()).entryList(QDir::Files, QDir::Name)) {
            if (!isRecordFileName(name) || !QRegularExpression(QStringLiteral("_(LP|LEQ|MAX)_")).match(name).hasMatch())
                continue;
            QFile f(recordDir() + QLatin1Char('/') + name);
            f.open(QIODevice::ReadOnly);
            QStringList values;
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty()) values << QString::fromLatin1(line.split(';').value(1).trimmed());
            out << values;
        }
        return out;
    }

    // One poll tick; the commands it put on the wire.
    QStringList Tick() {
        port->ClearWritten();
        clock.AdvanceMs(100);
        s->Timer1_Timer();
        return port->commands();
    }
    QStringList Sent(const std::function<void()>& act) {
        port->ClearWritten();
        act();
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
    void StartDevice(const char* status = "gds 11203\r") {
        PassGate(status, 5);
        said.clear();
    }

    QTemporaryDir tmp;
    ManualClock clock;
    EventLog log{tmp.path(), clock};
    cRegistry reg{
        RegistryFiles{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))}};
    ProtocolState ps{clock};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCOMx> com;
    std::unique_ptr<Session> s;
    QStringList said;
};

}  // namespace kestro::test
