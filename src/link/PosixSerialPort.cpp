#include "link/PosixSerialPort.h"

#include "shell/Instance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace kestro {

namespace {

// 9600 baud, 10 bits a character.
constexpr int kCharacterMicroseconds = 1000000 * 10 / 9600 + 1;
constexpr std::size_t kReadChunk = 4096;

// Where programs that lock serial devices by file keep their locks; ours goes
// into the first of the first two that lets us write.
constexpr const char* kLockDirs[] = {
    "/run/lock",  "/var/lock", "/var/lock/lockdev", "/var/spool/locks", "/var/spool/uucp",
    "/etc/locks", "/tmp",      "/var/tmp"};
constexpr int kOwnLockDirs = 2;

QString systemWords(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QByteArray native(const QString& path) { return QFile::encodeName(path); }

using NotLockFn = std::function<void(const QString& path, const QString& what)>;

bool pathExists(const QString& path) {
    // exists() follows symlinks: a dangling /dev/serial/by-id link is a missing device.
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool running(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// A lock file holds a PID of at most ten digits and a newline. Anything larger
// is something else, and its size must not decide how much we read.
constexpr qint64 kMaxLockFileBytes = 128;

// What sits at a lock file's name.
struct LockEntry {
    enum Kind { Absent, Lock, Other } kind = Absent;
    QByteArray content;  // a lock's bytes
    QString other;       // what an Other is, for the report
    pid_t holder = 0;    // the running process a lock names
};

QString notLockWords(const struct stat& st) {
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("a named pipe");
    if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return QStringLiteral("a device");
    return QStringLiteral("%1 bytes").arg(qint64(st.st_size));
}

// Anyone may plant something at a lock name: a pipe that blocks a reader for
// good, a link to any file, a file of any size. So the name is opened without
// blocking or following a link, and judged on the descriptor before a byte of
// it is read.
LockEntry readLockEntry(const QString& path) {
    LockEntry e;
    const int fd = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // A name we cannot open holds no lock we could honour.
        if (errno != ENOENT)
            e = {LockEntry::Other, {}, errno == ELOOP ? QStringLiteral("a symbolic link") : systemWords(errno)};
        return e;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxLockFileBytes;
    char buf[kMaxLockFileBytes + 1];
    const ssize_t n = regular ? ::read(fd, buf, sizeof buf) : -1;
    const int err = errno;
    ::close(fd);
    if (!regular || n < 0 || n > kMaxLockFileBytes) {
        e.kind = LockEntry::Other;
        e.other = !regular ? notLockWords(st) : n < 0 ? systemWords(err) : QStringLiteral("grew past a lock's size");
        return e;
    }
    e.kind = LockEntry::Lock;
    e.content = QByteArray(buf, int(n));
    bool ok = false;
    const auto pid = static_cast<pid_t>(e.content.left(e.content.indexOf('\n')).trimmed().toLongLong(&ok));
    // A lock naming us was left by an earlier process with our number; our own
    // ports are kept apart by the descriptor lock.
    e.holder = ok && pid != ::getpid() && running(pid) ? pid : 0;
    return e;
}

bool sameLock(const LockEntry& a, const LockEntry& b) {
    return a.kind == LockEntry::Lock && b.kind == LockEntry::Lock && a.content == b.content;
}

// A process that has the character device rdev open, for programs that take
// a device without a lock file.
pid_t descriptorHolder(dev_t rdev) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    while (const dirent* p = found ? nullptr : ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(p->d_name, &end, 10);
        if (pid <= 0 || *end) continue;
        const std::string dir = std::string("/proc/") + p->d_name + "/fd/";
        DIR* fds = ::opendir(dir.c_str());
        if (!fds) continue;
        while (const dirent* f = found ? nullptr : ::readdir(fds)) {
            struct stat st {};
            if (f->d_name[0] != '.' && ::stat((dir + f->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == rdev)
                found = static_cast<pid_t>(pid);
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// The lock directories present here, each once (/var/lock is often /run/lock);
// own: those we leave our lock in.
struct LockDir {
    QString path;
    bool own;
};
std::vector<LockDir> lockDirs() {
    std::vector<LockDir> dirs;
    for (int i = 0; i < int(std::size(kLockDirs)); ++i) {
        const QString dir = QFileInfo(QLatin1String(kLockDirs[i])).canonicalFilePath();
        if (!dir.isEmpty() && std::none_of(dirs.begin(), dirs.end(), [&](const LockDir& d) { return d.path == dir; }))
            dirs.push_back({dir, i < kOwnLockDirs});
    }
    return dirs;
}

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
QString lockPath(const QString& dir, const QString& canonical) {
    QString name = canonical.startsWith(QLatin1String("/dev/")) ? canonical.mid(5) : canonical;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return dir + QStringLiteral("/LCK..") + name;
}

QString inUseText(const QString& canonical) {
    pid_t pid = 0;
    for (const LockDir& dir : lockDirs())
        if ((pid = readLockEntry(lockPath(dir.path, canonical)).holder)) break;
    struct stat st {};
    if (!pid && ::stat(native(canonical).constData(), &st) == 0) pid = descriptorHolder(st.st_rdev);
    QString text = QStringLiteral("The device is in use by another program");
    if (!pid) return text;
    // Two instances set up for one meter: say which, so the wrong setup is found.
    if (const std::optional<QString> instance = instanceOfProcess(pid))
        return QStringLiteral("port %1 is used by %2 (PID %3)")
            .arg(canonical, instance->isEmpty() ? QStringLiteral("the instance without a name")
                                                : QStringLiteral("instance ") + *instance)
            .arg(pid);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return text +
           (name.isEmpty() ? QStringLiteral(" (PID %1)").arg(pid) : QStringLiteral(" (%1, PID %2)").arg(name).arg(pid));
}

QByteArray ownLockText() { return QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n'; }

// A complete lock file of ours beside the lock name, removed with this object
// unless it was renamed into place.
class TempLock {
public:
    explicit TempLock(const QString& dir) : path_(native(dir + QStringLiteral("/LTMP.XXXXXX"))) {
        const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
        if (fd < 0) {
            path_.clear();
            return;
        }
        const QByteArray text = ownLockText();
        // Others must read the PID; mkostemp makes the file ours alone.
        ok_ = ::fchmod(fd, 0644) == 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size();
        ::close(fd);
    }
    ~TempLock() {
        if (!path_.isEmpty()) ::unlink(path_.constData());
    }
    TempLock(const TempLock&) = delete;
    TempLock& operator=(const TempLock&) = delete;
    bool ok() const { return ok_; }
    bool linkTo(const QByteArray& name) const { return ::link(path_.constData(), name.constData()) == 0; }
    bool renameTo(const QByteArray& name) {
        if (::rename(path_.constData(), name.constData()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    QByteArray path_;
    bool ok_ = false;
};

enum class Take { Taken, Held, Skipped };

// Our lock file at path in its directory. The name only ever holds a complete
// lock: link() of a written file fails if the name exists, and a stale lock is
// replaced by rename, only while it still holds what was judged stale, so the
// name never stands empty for another program to take meanwhile.
Take takeLockAt(const QString& dir, const QString& path) {
    const QByteArray name = native(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        TempLock temp(dir);
        if (!temp.ok()) return Take::Skipped;  // a directory we cannot write to
        if (temp.linkTo(name)) return Take::Taken;
        if (errno != EEXIST) return Take::Skipped;
        const LockEntry seen = readLockEntry(path);
        if (seen.kind == LockEntry::Other) return Take::Skipped;
        if (seen.holder) return Take::Held;
        if (seen.kind == LockEntry::Absent || !sameLock(readLockEntry(path), seen)) continue;
        if (!temp.renameTo(name)) return Take::Skipped;
        // Another program replacing the same stale lock at the same moment wins.
        if (readLockEntry(path).content == ownLockText()) return Take::Taken;
    }
    return Take::Held;  // the name keeps changing: some program is taking the device
}

// False when a running program holds the device by its lock file. Otherwise
// leaves ours (its path in taken) for programs that look before they open; no
// writable lock directory is no failure, nor is something at a lock name that
// is no lock file (reported through notLock): the descriptor lock and
// exclusive mode keep other openers out all the same.
bool takeLockFile(const QString& canonical, QString* taken, const NotLockFn& notLock) {
    const std::vector<LockDir> dirs = lockDirs();
    for (const LockDir& dir : dirs) {
        const QString path = lockPath(dir.path, canonical);
        const LockEntry e = readLockEntry(path);
        if (e.holder) return false;
        if (e.kind == LockEntry::Other) notLock(path, e.other);
    }
    for (const LockDir& dir : dirs) {
        if (!dir.own) continue;
        const QString path = lockPath(dir.path, canonical);
        switch (takeLockAt(dir.path, path)) {
            case Take::Taken:
                *taken = path;
                return true;
            case Take::Held:
                return false;
            case Take::Skipped:
                break;
        }
    }
    return true;
}

}  // namespace

int readHoldOffMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KESTRO_READ_HOLDOFF_MS", &ok);
    return ok ? std::clamp(ms, 0, kMaxReadHoldOffMs) : kDefaultReadHoldOffMs;
}

PosixSerialPort::PosixSerialPort(int holdOffMs, MonotonicMs monotonicMs, QObject* parent)
    : SerialPort(parent),
      holdOffMs_(std::max(holdOffMs, 0)),
      busyHoldOffMs_(std::max(holdOffMs_, kBusyReadHoldOffMs)),
      clock_(std::move(monotonicMs)) {
    if (!clock_)
        clock_ = [] {
            return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
        };
    holdTimer_.setSingleShot(true);
    // A coarse timer may fire late by a twentieth: the bound is a promise.
    holdTimer_.setTimerType(Qt::PreciseTimer);
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    connect(&holdTimer_, &QTimer::timeout, this, &PosixSerialPort::endHoldOff);
    connect(&readNotifier_, &QSocketNotifier::activated, this, &PosixSerialPort::onReadable);
    connect(&writeNotifier_, &QSocketNotifier::activated, this, [this] { writeQueued(); });
}

PosixSerialPort::~PosixSerialPort() { releaseDevice(); }

bool PosixSerialPort::open(const QString& device, int16_t* errNo, QString* reason) {
    close();
    device_ = device;
    const QString canonical = QFileInfo(device).canonicalFilePath();
    auto fail = [&](int16_t n, const QString& why) {
        if (errNo) *errNo = n;
        if (reason) *reason = why;
        return false;
    };
    // The holder is looked for with our own descriptor closed, or it would be us.
    auto busy = [&] {
        releaseDevice();
        return fail(kErrPortUnavailable, inUseText(canonical));
    };
    if (!pathExists(device)) return fail(kErrPortNotFound, systemWords(ENOENT));

    fd_ = ::open(native(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        // The device may have vanished between the check and the open.
        if (err == ENOENT || err == ENODEV || err == ENXIO || !pathExists(device))
            return fail(kErrPortNotFound, systemWords(err));
        if (err == EBUSY) return busy();
        // The kernel's own words are what tells the user to join the dialout group.
        return fail(kErrPortUnavailable, systemWords(err == EPERM ? EACCES : err));
    }
    if (!::isatty(fd_)) {
        releaseDevice();
        return fail(kErrPortUnavailable, systemWords(ENOTTY));
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return busy();
    const auto notLock = [this](const QString& path, const QString& what) {
        emit lockFileIgnored(path, what);
    };
    if (!takeLockFile(canonical, &lockFile_, notLock)) return busy();
    // Other users' programs cannot open the device while we hold it.
    ::ioctl(fd_, TIOCEXCL);

    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        const int err = errno;
        releaseDevice();
        return fail(kErrPortUnavailable, systemWords(err));
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | CRTSCTS);
    // The modem status lines float on many adapters: they must not hang the line up.
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXOFF | IXANY);
    // At least one byte: a read of none then means the line was hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        const int err = errno;
        releaseDevice();
        return fail(kErrPortUnavailable, systemWords(err));
    }
    // Bytes that reached the line before we opened it answer nothing we asked.
    ::tcflush(fd_, TCIFLUSH);
    readNotifier_.setSocket(fd_);
    writeNotifier_.setSocket(fd_);
    readNotifier_.setEnabled(true);
    guardStop_ = false;
    guard_ = std::thread([this, fd = fd_] { guardLoop(fd); });
    return true;
}

void PosixSerialPort::guardLoop(int fd) {
    std::unique_lock<std::mutex> lock(readMutex_);
    std::uint64_t seen = fills_;
    bool waited = false;
    while (!guardStop_ && stashEnd_ < 0) {
        guardWake_.wait_for(lock, std::chrono::milliseconds(kGuardCheckMs));
        if (guardStop_) break;
        pollfd p{fd, POLLIN, 0};
        const bool waiting = ::poll(&p, 1, 0) > 0;
        const bool unread = waiting && waited && fills_ == seen;
        waited = waiting && !unread;
        seen = fills_;
        if (!unread) continue;
        char buf[kReadChunk];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                stash_.append(buf, n);
                if (static_cast<std::size_t>(n) < sizeof buf) break;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n == 0 || errno != EAGAIN) stashEnd_ = n == 0 ? 0 : errno;
                break;
            }
        }
    }
}

void PosixSerialPort::stopGuard() {
    if (!guard_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(readMutex_);
        guardStop_ = true;
    }
    guardWake_.notify_all();
    guard_.join();
}

void PosixSerialPort::close() {
    releaseDevice();
    gone_ = false;
}

void PosixSerialPort::releaseDevice() {
    stopGuard();
    stash_.clear();
    stashEnd_ = -1;
    holdTimer_.stop();
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    // Only our own lock goes: whatever has taken its place since is not ours to remove.
    if (const QString lock = std::exchange(lockFile_, QString());
        !lock.isEmpty() && readLockEntry(lock).content == ownLockText())
        ::unlink(native(lock).constData());
    rx_.clear();
    tx_.clear();
    endsLine_ = true;
    busy_ = false;
    lastDataMs_ = prevDataMs_ = kLongAgo;
}

// A pseudo-terminal has no modem lines; the refusal is harmless.
void PosixSerialPort::setModemLine(int line, bool on) {
    if (fd_ >= 0 && !gone_) ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
}

void PosixSerialPort::setDataTerminalReady(bool on) { setModemLine(TIOCM_DTR, on); }

void PosixSerialPort::setRequestToSend(bool on) { setModemLine(TIOCM_RTS, on); }

qint64 PosixSerialPort::write(const QByteArray& data) {
    if (fd_ < 0 || gone_) return -1;
    qint64 done = 0;
    // Behind queued bytes a command waits its turn.
    if (tx_.isEmpty()) {
        const ssize_t n = ::write(fd_, data.constData(), size_t(data.size()));
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (!pathExists(device_)) reportGone(systemWords(errno));
            return -1;
        }
        done = std::max<qint64>(n, 0);
    }
    if (done < data.size()) {
        tx_.append(data.constData() + done, data.size() - done);
        writeNotifier_.setEnabled(true);
    }
    return data.size();
}

bool PosixSerialPort::writeQueued() {
    bool ok = true;
    while (!tx_.isEmpty() && fd_ >= 0 && !gone_) {
        const ssize_t n = ::write(fd_, tx_.constData(), size_t(tx_.size()));
        if (n > 0) {
            tx_.remove(0, n);
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else if (n < 0 && errno != EINTR) {
            // A line that refuses what it was given will not take it later.
            if (!pathExists(device_)) reportGone(systemWords(errno));
            tx_.clear();
            ok = false;
        }
    }
    writeNotifier_.setEnabled(!tx_.isEmpty() && fd_ >= 0 && !gone_);
    return ok;
}

bool PosixSerialPort::flush(int timeoutMs) {
    if (fd_ < 0 || gone_) return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!tx_.isEmpty()) {
        const qint64 left = deadline.remainingTime();
        pollfd p{fd_, POLLOUT, 0};
        if (left <= 0 || (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)) break;
        if (!writeQueued() || gone_) return false;
    }
    return tx_.isEmpty();
}

bool PosixSerialPort::drain(int timeoutMs) {
    if (fd_ < 0 || gone_) return false;
    // tcdrain() could wait forever on a wedged adapter; the driver's count of
    // unsent bytes can be polled against a deadline instead.
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int unsent = 0;
        if (::ioctl(fd_, TIOCOUTQ, &unsent) != 0) return false;
        if (unsent <= 0) break;
        if (deadline.hasExpired()) return false;
        ::usleep(static_cast<useconds_t>(std::min(unsent, 4) * kCharacterMicroseconds));
    }
    // The count is zero while the transmitter still shifts out its last character.
    ::usleep(2 * kCharacterMicroseconds);
    return true;
}

QString PosixSerialPort::hangUpReason(int err) const {
    return !pathExists(device_)     ? systemWords(ENODEV)
           : err == 0 || err == EIO ? QStringLiteral("The line was hung up")
                                    : systemWords(err);
}

bool PosixSerialPort::fill() {
    if (fd_ < 0) return false;
    std::unique_lock<std::mutex> lock(readMutex_);
    ++fills_;
    // What the guard took came first; after a loss it is all there is.
    bool got = !stash_.isEmpty();
    if (got) {
        rx_.append(stash_);
        endsLine_ = stash_.endsWith('\r');
        stash_.clear();
    }
    int end = std::exchange(stashEnd_, -1);
    char buf[kReadChunk];
    while (end < 0 && !gone_) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            rx_.append(buf, n);
            endsLine_ = buf[n - 1] == '\r';
            got = true;
            if (static_cast<std::size_t>(n) < sizeof buf) break;  // that was all the driver had
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // No byte at all, or an error, from a terminal that was readable:
            // hung up, or its adapter pulled.
            if (n == 0 || errno != EAGAIN) end = n == 0 ? 0 : errno;
            break;
        }
    }
    lock.unlock();
    if (end >= 0) reportGone(hangUpReason(end));
    return got;
}

void PosixSerialPort::afterRead(bool got, bool holdEnded) {
    if (fd_ < 0 || gone_) return;
    if (!got) {
        if (holdEnded) watch();
        return;
    }
    const qint64 now = clock_();
    // Data at two grid points in a row (a timer fires a little late): more is
    // on its way, even after a line's end.
    const qint64 span = busy_ ? busyHoldOffMs_ : holdOffMs_;
    const qint64 near = span + span / 2;
    busy_ = lastDataMs_ - prevDataMs_ <= near && now - lastDataMs_ <= near;
    prevDataMs_ = std::exchange(lastDataMs_, now);
    if (holdOffMs_ <= 0 || (endsLine_ && !busy_)) return watch();
    readNotifier_.setEnabled(false);
    const int hold = busy_ ? busyHoldOffMs_ : holdOffMs_;
    holdTimer_.start(static_cast<int>(hold - now % hold));
}

void PosixSerialPort::watch() {
    holdTimer_.stop();
    readNotifier_.setEnabled(fd_ >= 0 && !gone_);
}

void PosixSerialPort::onReadable() {
    afterRead(fill(), false);
    deliver();
}

void PosixSerialPort::endHoldOff() {
    afterRead(fill(), true);
    deliver();
}

QByteArray PosixSerialPort::readAll() {
    // Inside dataReceived the driver has just been read.
    if (!delivering_) afterRead(fill(), false);
    return std::exchange(rx_, QByteArray());
}

void PosixSerialPort::deliver() {
    if (rx_.isEmpty()) return;
    delivering_ = true;
    emit dataReceived();
    delivering_ = false;
}

void PosixSerialPort::reportGone(const QString& reason) {
    if (gone_) return;
    gone_ = true;
    holdTimer_.stop();
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    emit portGone(reason);
}

}  // namespace kestro
