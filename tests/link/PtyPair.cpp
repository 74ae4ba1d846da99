#include "PtyPair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kestro::test {

PtyPair::PtyPair() {
    char name[256] = {};
    int m = -1;
    int s = -1;
    if (::openpty(&m, &s, name, nullptr, nullptr) != 0)
        return;
    // Raw from the start: no echo, no CR to LF translation on either side.
    termios tio{};
    if (::tcgetattr(s, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(s, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    master_ = m;
    slave_ = s;
    slavePath_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::Write(const QByteArray& bytes) {
    qsizetype done = 0;
    QDeadlineTimer deadline(5000);
    while (master_ >= 0 && done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            // The line is full: let the reader drain it.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    return done == bytes.size();
}

QByteArray PtyPair::ReadFor(int waitMs) {
    QByteArray out;
    QDeadlineTimer deadline(waitMs);
    while (master_ >= 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                out.append(buf, n);
        }
    }
    return out;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace kestro::test
