#pragma once
// The about box: title, version and maker, and a button that starts the
// machine's system-information program.

#include "core/Errors.h"
#include "settings/cRegistry.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;

namespace kestro {

class EventLog;
class MessageSink;

// "Version " + major.minor.revision + two blanks + comment.
QString versionText(int major, int minor, int revision, const QString& comment);
// The line of this build (kestro/Version.h).
QString buildVersionText();

// How the system-information program is found and started; tests replace parts.
struct SysInfoLauncher {
    // Well-known system-information programs, tried in this order.
    QStringList candidates;
    // Full path of a program on PATH, empty when absent.
    std::function<QString(const QString& name)> findExecutable;
    std::function<bool(const QString& path)> fileExists;
    // Starts the program as its own process; false when it could not be started.
    std::function<bool(const QString& program)> startDetached;
    static SysInfoLauncher standard();
};

// Modeless; deletes itself when closed (WA_DeleteOnClose).
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // machineFiles: where the machine-wide store lives (only its localMachine file is read).
    frmAbout(const EventLog& log, MessageSink& messages, RegistryFiles machineFiles,
             SysInfoLauncher launcher = SysInfoLauncher::standard(), QWidget* parent = nullptr);

    void StartSysInfo();
    // One value of the machine-wide (or another) root, as text: text values as
    // they are, numbers in decimal. False, with out empty, when it cannot be read.
    bool GetKeyValue(uint32_t root, const QString& keyName, const QString& valueName, QString* out) const;

    QLabel* Picture1 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCompanyname = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

private:
    // Starts program; on failure sets *errNo to why.
    bool start(const QString& program, int32_t* errNo) const;

    const EventLog& log_;
    MessageSink& messages_;
    RegistryFiles files_;
    SysInfoLauncher launcher_;
};

}  // namespace kestro
