#include "shell/SignalBridge.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>

namespace kestro {

namespace {

// A signal handler cannot reach any object, so the write end of the socket
// pair has to live at file scope. It is set when a bridge is installed and
// cleared when it goes; the handler only reads it.
std::atomic<int> signalWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free fd");

extern "C" void onSignal(int signo) {
    const int savedErrno = errno;
    const int fd = signalWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // Non-blocking: when the pipe is full a request is pending anyway.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    int expected = -1;
    if (!signalWriteFd.compare_exchange_strong(expected, fds_[1])) {
        ::close(fds_[0]);
        ::close(fds_[1]);
        fds_[0] = fds_[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalBridge::onReadable);

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &oldInt_);
    ::sigaction(SIGTERM, &sa, &oldTerm_);
    ::sigaction(SIGHUP, &sa, &oldHup_);
    active_ = true;
}

SignalBridge::~SignalBridge() {
    if (!active_) return;
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGHUP, &oldHup_, nullptr);
    signalWriteFd.store(-1);
    notifier_.reset();  // before its descriptor goes
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void SignalBridge::onReadable() {
    unsigned char buf[16];
    ssize_t n;
    while ((n = ::read(fds_[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < n; ++i)
            emit terminationRequested(buf[i]);
    }
}

}  // namespace kestro
