#pragma once
// A setup dialog over its own store file, a serial owner on a fake port and a
// message recorder.

#include "link/FakeSerialPort.h"
#include "link/frmCOMx.h"
#include "protocol/ProtocolState.h"
#include "settings/RecorderSettings.h"
#include "settings/cRegistry.h"
#include "settings/ui/frmSetup.h"
#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace kestro::test {

// A stored value with the type the store keeps it as.
struct Typed {
    QVariant value;
    int32_t type = 0;
    bool operator==(const Typed& o) const { return value == o.value && type == o.type; }
};
inline void PrintTo(const Typed& t, std::ostream* os) {
    *os << "{" << t.value.toString().toStdString() << ", type " << t.type << "}";
}

class SetupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(qPrintable(QStringLiteral("KESTRO_COM%1").arg(n)));
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir().mkpath(devDir()));
        com = std::make_unique<frmCOMx>(ps, reg, log, messages, [this] {
            auto p = std::make_unique<FakeSerialPort>();
            port = p.get();
            return p;
        });
        com->SetDeviceDirectory(devDir());
    }
    void TearDown() override {
        QList<QPointer<QWidget>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!w->parentWidget())
                windows << w;
        for (const QPointer<QWidget>& w : windows)
            delete w.data();
        FlushDeletes();
    }

    QString devDir() const { return tmp.filePath(QStringLiteral("dev")); }
    QString devicePath(int n) const { return devDir() + QStringLiteral("/ttyS%1").arg(n - 1); }
    void FailPort(int n) { port->SetOpenFailure(devicePath(n), kErrPortNotFound, QStringLiteral("No such file")); }

    void Store(const char* section, const QString& name, const QVariant& value, int32_t type) {
        cRegistry w(files);
        w.ClassKey = HKEY_CURRENT_USER_;
        w.SectionKey = QString::fromLatin1(section);
        w.ValueKey = name;
        w.ValueType = type;
        w.SetValue(value);
    }
    void StoreRecorder(const QString& name, const QVariant& value, int32_t type) {
        Store(kRecorderSection, name, value, type);
    }
    void StorePort(int n) { Store(kDeviceSection, QStringLiteral("COMPort"), n, REG_DWORD_); }
    // What a fresh reader finds: the value and its stored type; type 0 when absent.
    Typed Stored(const char* section, const QString& name) const {
        cRegistry r(files);
        r.ClassKey = HKEY_CURRENT_USER_;
        r.SectionKey = QString::fromLatin1(section);
        r.ValueKey = name;
        if (!r.ValueExists())
            return {};
        const QVariant v = r.Value();
        return {v, r.ValueType};
    }
    Typed Recorder(const QString& name) const { return Stored(kRecorderSection, name); }
    Typed Device(const QString& name) const { return Stored(kDeviceSection, name); }
    QByteArray StoreBytes() const {
        QFile f(files.currentUser);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A fresh dialog; every close counts one InitApplication.
    frmSetup* MakeDialog(SerialDeviceLister lister = [] { return QList<SerialDeviceInfo>(); }) {
        auto* d = new frmSetup(reg, *com, messages, defaultDir, [this] {
            ++initApplicationCalls;
            if (onInitApplication)
                onInitApplication();
        }, std::move(lister));
        ++dialogsCreated;
        return d;
    }
    // Shown and active, so focus moves and focus events arrive as for a user.
    static void ShowActive(QWidget* w) {
        w->show();
        w->activateWindow();
        QApplication::setActiveWindow(w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir tmp;
    ManualClock clock;
    ProtocolState ps{clock};
    EventLog log{tmp.path(), clock};
    RegistryFiles files{tmp.filePath(QStringLiteral("user.json")), tmp.filePath(QStringLiteral("machine.json"))};
    cRegistry reg{files};
    RecordingMessageSink messages;
    FakeSerialPort* port = nullptr;
    std::unique_ptr<frmCOMx> com;
    QString defaultDir = QStringLiteral("/opt/kestro/bin");
    int initApplicationCalls = 0;
    int dialogsCreated = 0;
    std::function<void()> onInitApplication;
};

}  // namespace kestro::test
