#pragma once
// Refuses a second running copy of the program through a lock held on a file
// for the process's lifetime. The kernel releases the lock when the process
// ends, however it ends, so only a running instance can refuse a start.

#include <QString>

namespace kestro {

class EventLog;
class MessageSink;

class SingleInstance {
public:
    enum class Outcome {
        Acquired,       // this process holds the lock (also when it held it already)
        HeldByAnother,  // a running process holds it
        Unguarded,      // no lock could be taken (sysErrno says why); nothing to refuse
    };

    // lockPath: the instance's lock file (Instance::lockFile()).
    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Outcome tryAcquire(int* sysErrno = nullptr);
    bool isHeld() const { return fd_ >= 0; }
    QString lockPath() const { return path_; }

private:
    QString path_;
    int fd_ = -1;
};

// Start-up guard: true when this instance may run. A running instance makes it
// show the refusal message, write the refusal log line and return false; the
// caller then ends the process with status 1. When no lock can be taken at all
// the start goes ahead and the log says why it is unguarded.
bool ensureSingleInstance(SingleInstance& instance, const EventLog& log, MessageSink& messages);

}  // namespace kestro
