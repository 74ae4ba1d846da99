#include "link/PosixSerialPort.h"

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
#include <string>
#include <utility>

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

bool pathExists(const QString& path) {
    // exists() follows symlinks: a dangling /dev/serial/by-id link is a missing device.
    return !path.isEmpty() && QFileInfo::exists(path);
}

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
QString lockPath(const char* dir, const QString& canonical) {
    QString name = canonical.startsWith(QLatin1String("/dev/")) ? canonical.mid(5) : canonical;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QLatin1String(dir) + QStringLiteral("/LCK..") + name;
}

bool running(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// The running process a lock file names (its first line is the PID in ASCII), or 0.
pid_t lockHolder(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    bool ok = false;
    const auto pid = static_cast<pid_t>(f.readLine(64).trimmed().toLongLong(&ok));
    return ok && running(pid) ? pid : 0;
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

QString inUseText(const QString& canonical) {
    pid_t pid = 0;
    for (const char* dir : kLockDirs)
        if ((pid = lockHolder(lockPath(dir, canonical)))) break;
    struct stat st {};
    if (!pid && ::stat(native(canonical).constData(), &st) == 0) pid = descriptorHolder(st.st_rdev);
    QString text = QStringLiteral("The device is in use by another program");
    if (!pid) return text;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return text +
           (name.isEmpty() ? QStringLiteral(" (PID %1)").arg(pid) : QStringLiteral(" (%1, PID %2)").arg(name).arg(pid));
}

// False when a running program holds the device by its lock file. Otherwise
// leaves ours (its path in taken) for programs that look before they open; no
// writable lock directory is no failure: the descriptor lock and exclusive
// mode keep other openers out all the same.
bool takeLockFile(const QString& canonical, QString* taken) {
    for (const char* dir : kLockDirs)
        if (lockHolder(lockPath(dir, canonical))) return false;
    const QByteArray pidText = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
    for (int i = 0; i < kOwnLockDirs; ++i) {
        const QString path = lockPath(kLockDirs[i], canonical);
        const QByteArray file = native(path);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd >= 0) {
                const bool written = ::write(fd, pidText.constData(), size_t(pidText.size())) == pidText.size();
                ::close(fd);
                if (written) {
                    *taken = path;
                    return true;
                }
                ::unlink(file.constData());
                break;
            }
            if (errno != EEXIST) break;
            if (lockHolder(path)) return false;
            ::unlink(file.constData());  // left behind by a program that has ended
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
    if (!takeLockFile(canonical, &lockFile_)) return busy();
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
    if (!lockFile_.isEmpty()) ::unlink(native(std::exchange(lockFile_, QString())).constData());
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
