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

namespace kestro::test {

inline QStringList cmds(std::initializer_list<const char*> l) { return QStringList(l.begin(), l.end()); }

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid() && QDir().mkpath(recordDir()));
        qputenv("KESTRO_COM1", QFile::encodeName(meter()));
        writeSetting(reg, setting(SettingId::COMPort), 1);
        writeSetting(reg, setting(SettingId::RecordDirectory), recordDir());
        ps.setErrorLog(log.errorSink());
        com = std::make_unique<frmCOMx>(reg, log, messages, FakeSerialPort::factoryInto(port));
        ASSERT_EQ(com->InitForm(), kTrue);
        s = std::make_unique<Session>(ps, *com, reg, log, clock);
        s->Reset_KestroStateOld();
        s->Reset_KestroState();
        s->InitForm();
        observe();
        port->clearWritten();
    }
    void TearDown() override { qunsetenv("KESTRO_COM1"); }

    // Every announcement as a line: its name, its first `args` arguments, and
    // "opt" when OptionUpdate was set meanwhile ("function 2 opt", "armed 1").
    static QString arg(const QString& v) { return v; }
    static QString arg(int v) { return QString::number(v); }
    template <class... A>
    void note(void (Session::*signal)(A...), const char* name, int args = sizeof...(A)) {
        QObject::connect(s.get(), signal, [=](A... a) {
            const QStringList line = QStringList{name, arg(a)...}.mid(0, args + 1);
            said << line.join(' ') + (s->OptionUpdate ? QStringLiteral(" opt") : QString());
        });
    }
    void observe() {
        note(&Session::wentOnline, "online");
        note(&Session::wentOffline, "offline");
        note(&Session::functionChanged, "function", 1);
        note(&Session::levelChanged, "level");
        note(&Session::levelStatusChanged, "status");
        note(&Session::rangeChanged, "range");
        note(&Session::batteryChanged, "battery");
        note(&Session::recordingChanged, "armed");
        note(&Session::timeAxisRestarted, "axis");
        note(&Session::statusText, "text");
        note(&Session::deviceStarted, "started");
        note(&Session::startupCompleted, "completed");
        note(&Session::deviceLost, "lost");
    }
    QStringList takeSaid() { return std::exchange(said, {}); }

    QString meter() const { return tmp.filePath(QStringLiteral("meter")); }
    QString recordDir() const { return tmp.filePath(QStringLiteral("records")); }
    // The record files of the streams (the slow ones unless told) with their values, oldest first.
    QList<QStringList> recordValues(const QString& streams = QStringLiteral("LP|LEQ|MAX")) const {
        QList<QStringList> out;
        for (const QString& name : QDir(recordDir()).entryList(QDir::Files, QDir::Name)) {
            if (!isRecordFileName(name) || !QRegularExpression("_(" + streams + ")_").match(name).hasMatch()) continue;
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
    QStringList tick() {
        port->clearWritten();
        clock.advanceMs(100);
        s->Timer1_Timer();
        return port->commands();
    }
    QStringList sentBy(const std::function<void()>& act) {
        port->clearWritten();
        act();
        return port->commands();
    }
    void feed(const char* answer) { port->feed(QByteArray(answer)); }
    // Through the serial-number gate; then `steps` status answers.
    void passGate(const char* status = "gds 11203\r", int steps = 0) {
        tick();
        feed("gsn 12345678\r");
        tick();
        for (int i = 0; i < steps; ++i) {
            feed(status);
            tick();
        }
    }
    void startDevice(const char* status = "gds 11203\r") {
        passGate(status, 5);
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
