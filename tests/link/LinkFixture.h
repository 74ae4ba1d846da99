#pragma once
// An owner with its own clock, log directory, store file and message recorder.

#include "PtyPair.h"
#include "link/FakeSerialPort.h"
#include "link/frmCOMx.h"
#include "protocol/ProtocolState.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failure output for texts and lists of texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestro::test {

class LinkFixture : public ::testing::Test {
protected:
    // fake: build the owner over a FakeSerialPort instead of the real adapter.
    void MakeOwner(bool fake) {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n)));
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(devDir()));
        ps.SetErrorLog(log.ErrorSink());
        frmCOMx::PortFactory factory;
        if (fake)
            factory = [this] {
                auto p = std::make_unique<FakeSerialPort>();
                port = p.get();
                return p;
            };
        com = std::make_unique<frmCOMx>(ps, reg, log, messages, factory);
        com->SetDeviceDirectory(devDir());
    }
    void TearDown() override {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n)));
    }

    QString devDir() const { return tmp.filePath(QStringLiteral("dev")); }
    void Store(const QString& name, const QVariant& value, int32_t type) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = QString::fromLatin1(kDeviceSection);
        w.ValueKey = name;
        w.ValueType = type;
        w.SetValue(value);
    }
    void StorePort(int n) { Store(QStringLiteral("COMPort"), n, REG_DWORD_); }
    void StoreDevice(int n, const QString& path) {
        Store(QStringLiteral("COM%1Device").arg(n), path, REG_SZ_);
    }
    QStringList LogLines() const {
        QFile f(log.MainLogPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    QString DateTime() const { return log.DateTimeText(); }

    QTemporaryDir tmp;
    ManualClock clock;
    ProtocolState ps{clock};
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))};
    cRegistry reg{files};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;  // set when the owner runs over the fake
    std::unique_ptr<frmCOMx> com;
};

}  // namespace kestro::test
