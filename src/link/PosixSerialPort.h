#pragma once
// The program's serial port: a terminal device opened raw at 9600,N,8,1
// without handshaking, read through a notifier whose wake-ups it rations.
//
// At 9600 baud a line trickles in over several milliseconds, and an adapter
// hands it over in pieces, each of which would wake the program. So after a
// read that ends inside a line, or while lines keep coming, the port stops
// watching the device until the next multiple of the hold-off on the
// monotonic clock and then reads everything that came meanwhile in one go. A
// complete line thus waits less than the hold-off before it is delivered (and
// time-stamped); a line after a quiet spell is read as soon as it is complete.
// While lines keep coming the hold lasts a poll tick (kBusyReadHoldOffMs): a
// wake-up costs more than the lines it reads, and the interpreter dates each
// line back by the bytes that followed it on the line.
// readAll() (called at every poll tick) reads at once whatever is waiting; the
// grid lets hold-offs that divide the tick end on the tick's own wake-up.
// The driver throws away what it still holds when the device goes, so bytes
// left unread while the event loop is held up (a slow sync of a busy disk) are
// taken into memory by a guard thread; they are delivered in order all the same.

#include "link/SerialPort.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kestro {

// Chosen by measurement (bench_serial, bench/headless.sh): see the README.
inline constexpr int kDefaultReadHoldOffMs = 20;
inline constexpr int kMaxReadHoldOffMs = 100;  // one poll tick
inline constexpr int kBusyReadHoldOffMs = kMaxReadHoldOffMs;

// The hold-off of this run: KESTRO_READ_HOLDOFF_MS (0 to kMaxReadHoldOffMs
// milliseconds, 0 reads at every arrival), else the default.
int readHoldOffMs();

class PosixSerialPort final : public SerialPort {
    Q_OBJECT
public:
    using MonotonicMs = std::function<qint64()>;
    // monotonicMs: the clock of the hold-off grid (tests drive it by hand).
    explicit PosixSerialPort(int holdOffMs = kDefaultReadHoldOffMs, MonotonicMs monotonicMs = {},
                             QObject* parent = nullptr);
    ~PosixSerialPort() override;

    bool open(const QString& device, int16_t* errNo, QString* reason) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;
    // Writes at once what the driver takes; the rest waits in order in a queue
    // that the write notifier empties.
    qint64 write(const QByteArray& data) override;
    bool flush(int timeoutMs) override;
    bool drain(int timeoutMs) override;
    QByteArray readAll() override;
    QString device() const override { return device_; }

    // The hold while lines keep coming (never shorter than the hold-off).
    void setBusyHoldOffMs(int ms) { busyHoldOffMs_ = std::max(ms, holdOffMs_); }
    // Milliseconds until the hold-off ends, as armed; -1 while the device is watched.
    int holdOffLeftMs() const { return holdTimer_.isActive() ? holdTimer_.interval() : -1; }
    // The end of a hold-off: reads what arrived, then holds again or watches.
    void endHoldOff();

private:
    void onReadable();
    // Reads what the driver has into rx_; true when that was anything.
    bool fill();
    // After a read: hold further reads while a line is unfinished or the line
    // is busy; a hold-off that found nothing goes back to watching.
    void afterRead(bool got, bool holdEnded);
    void watch();
    void deliver();
    // False when the driver refused the queue (it is dropped then).
    bool writeQueued();
    void reportGone(const QString& reason);
    void setModemLine(int line, bool on);
    void releaseDevice();
    // The guard: every kGuardCheckMs it looks at the line, and takes what was
    // already waiting at its last look when nothing has been read since.
    void guardLoop(int fd);
    void stopGuard();
    QString hangUpReason(int err) const;  // err: errno of the failed read, 0 for no byte at all

    int fd_ = -1;
    int holdOffMs_;
    int busyHoldOffMs_;
    MonotonicMs clock_;
    // When the last two reads found data.
    qint64 lastDataMs_ = kLongAgo;
    qint64 prevDataMs_ = kLongAgo;
    static constexpr qint64 kLongAgo = -(qint64{1} << 40);
    QString device_;
    QString lockFile_;  // ours, removed at close
    QSocketNotifier readNotifier_{QSocketNotifier::Read};
    QSocketNotifier writeNotifier_{QSocketNotifier::Write};
    QTimer holdTimer_;
    QByteArray rx_;  // read, not yet taken by readAll()
    QByteArray tx_;  // accepted, not yet taken by the driver
    bool endsLine_ = true;
    bool busy_ = false;  // data at the last grid points: held for the busy hold-off
    bool delivering_ = false;
    bool gone_ = false;
    static constexpr int kGuardCheckMs = 50;
    std::thread guard_;
    std::mutex readMutex_;  // one reader of the device at a time; guards what follows
    std::condition_variable guardWake_;
    bool guardStop_ = false;
    QByteArray stash_;         // taken by the guard, not yet by fill()
    int stashEnd_ = -1;        // the guard found the line hung up: the read's errno, 0 for no byte; -1 not
    std::uint64_t fills_ = 0;  // reads of the event loop, for the guard to see that it keeps up
};

}  // namespace kestro
