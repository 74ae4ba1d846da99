#include "shell/SingleInstance.h"

#include "shell/EventLog.h"
#include "shell/Messages.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

#include <signal.h>
#include <cerrno>

namespace kestro {

namespace {

QString DefaultLockDir() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

// The owner is gone when it ran on this host and its PID no longer exists.
// EPERM means a process of another user holds that PID: alive.
bool OwnerIsGone(const QLockFile& lock) {
    qint64 pid = 0;
    QString host;
    QString app;
    if (!lock.getLockInfo(&pid, &host, &app)) return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) return false;
    if (pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

SingleInstance::SingleInstance(const QString& lockDir)
    : path_(QDir(lockDir.isEmpty() ? DefaultLockDir() : lockDir).filePath(QStringLiteral("KestroRecorder.lock"))),
      lock_(std::make_unique<QLockFile>(path_)) {
    // The default stale time (30 s) would let a second copy start beside one
    // that has been running longer; only a dead owner makes the lock stale.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TryAcquire() {
    if (held_) return true;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    if (lock_->tryLock(0)) {
        held_ = true;
        return true;
    }
    if (lock_->error() == QLockFile::LockFailedError && OwnerIsGone(*lock_) && lock_->removeStaleLockFile())
        held_ = lock_->tryLock(0);
    return held_;
}

bool EnsureSingleInstance(SingleInstance& instance, const EventLog& log, MessageSink& messages) {
    if (instance.TryAcquire()) return true;
    messages.ShowMessage(QStringLiteral("You can start the Measurement viewer only one time!"));
    log.WriteLog(log.DateTimeText() +
                 QStringLiteral(": FormLoad.Error: Application started as second instance - Application stopped"));
    return false;
}

}  // namespace kestro
