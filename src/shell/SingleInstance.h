#pragma once
// Refuses a second running copy of the program through a lock file held for
// the process's lifetime.

#include <QLockFile>
#include <QString>

#include <memory>

namespace kestro {

class EventLog;
class MessageSink;

class SingleInstance {
public:
    // lockDir: directory of the lock file; empty means the per-user runtime
    // directory (the temporary directory when there is none).
    explicit SingleInstance(const QString& lockDir = QString());
    ~SingleInstance();

    // True when this process now holds the lock (also when it held it already).
    // A lock left behind by a process that no longer exists is taken over.
    bool TryAcquire();
    bool IsHeld() const { return held_; }
    QString LockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

// Start-up guard: true when this instance may run. Otherwise shows the
// refusal message, writes the refusal log line and returns false; the caller
// then ends the process with status 1.
bool EnsureSingleInstance(SingleInstance& instance, const EventLog& log, MessageSink& messages);

}  // namespace kestro
