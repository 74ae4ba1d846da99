// kestro-sim: plays the sound level meter on a pseudo-terminal.
#include "Instrument.h"
#include "OutputQueue.h"
#include "SimOptions.h"
#include "SimStats.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using namespace kestrosim;

namespace {

constexpr std::size_t kMaxCommand = 256;
constexpr int kHangupCheckMs = 20;

double clockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double monoMs() { return clockMs(CLOCK_MONOTONIC); }

// The next instant after now of the grid start + k·period: a late wake-up keeps the grid.
double nextOnGrid(double start, double period, double now) {
    return start + (std::floor((now - start) / period) + 1.0) * period;
}

bool makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool publishLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "kestro-sim: %s exists and is not a symlink\n", link.c_str());
        return false;
    }
    const std::string tmp = link + ".tmp." + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "kestro-sim: cannot publish %s: %s\n", link.c_str(), std::strerror(errno));
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// Only our own link: another simulator may have taken the name over meanwhile.
void removeLink(const std::string& link, const std::string& target) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n < 0) return;
    buf[n] = '\0';
    if (target == buf) unlink(link.c_str());
}

// Line noise that the receiver can skip: never CR (it would end a line) and
// never a letter (it would glue onto the next key).
std::string makeNoise(std::mt19937_64& rng) {
    std::string s;
    const int n = std::uniform_int_distribution<int>(1, 6)(rng);
    std::uniform_int_distribution<int> byte(0, 255);
    while (static_cast<int>(s.size()) < n) {
        const int c = byte(rng);
        if (c == '\r' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) continue;
        s += static_cast<char>(c);
    }
    return s;
}

class Simulator {
public:
    explicit Simulator(const SimOptions& o)
        : o_(o),
          seed_(o.seedGiven ? o.seed : std::random_device{}()),
          instrument_(InstrumentConfig{o.serial, o.function, o.range, o.battery, !o.noFaults, o.upper,
                                       o.slowMs / 1000.0, o.calLevel, o.calDrift, o.bursts},
                      seed_),
          queue_(OutputQueue::Config{o.queueLines, o.lineRate, o.split}, seed_ + 1),
          rng_(seed_ + 2) {}

    int run();

private:
    bool setUp();
    void tearDown();
    void writeStats();
    void readCommands();
    void handleCommand(const std::string& raw);
    void emit(const SimLine& line);
    void goHungUp();
    void pump(double now);
    void fastBurst(double now);
    double secondsSinceStart(double now) const { return (now - startMs_) / 1000.0; }

    SimOptions o_;
    std::uint64_t seed_;
    Instrument instrument_;
    OutputQueue queue_;
    std::mt19937_64 rng_;
    SimStats stats_;
    SentLog sentLog_;
    SentLog cmdLog_;  // same line format, for start-up timing

    int master_ = -1;
    int sigFd_ = -1;
    std::string slaveName_;
    bool hungUp_ = false;
    bool blocked_ = false;
    bool silent_ = false;
    std::string cmdBuf_;
    double startMs_ = 0.0;
};

bool Simulator::setUp() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGRTMIN})
        sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sigFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    std::signal(SIGPIPE, SIG_IGN);

    int slave = -1;
    char name[PATH_MAX] = {};
    if (sigFd_ < 0 || openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "kestro-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    slaveName_ = name;
    // Raw on both sides: no echo, no CR/LF translation of either direction.
    makeRaw(slave);
    makeRaw(master_);
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    hungUp_ = true;  // nobody has the slave open yet

    if (!o_.link.empty() && !publishLink(o_.link, slaveName_)) return false;
    if (!o_.sentLog.empty() && !sentLog_.open(o_.sentLog)) {
        std::fprintf(stderr, "kestro-sim: cannot open %s: %s\n", o_.sentLog.c_str(), std::strerror(errno));
        return false;
    }
    if (!o_.cmdLog.empty() && !cmdLog_.open(o_.cmdLog)) {
        std::fprintf(stderr, "kestro-sim: cannot open %s: %s\n", o_.cmdLog.c_str(), std::strerror(errno));
        return false;
    }
    std::printf("%s\n", slaveName_.c_str());
    std::fflush(stdout);
    return true;
}

void Simulator::tearDown() {
    writeStats();
    if (!o_.link.empty()) removeLink(o_.link, slaveName_);
    if (master_ >= 0) close(master_);
}

void Simulator::writeStats() {
    if (!o_.statsFile.empty() && !writeFileAtomically(o_.statsFile, stats_.render(queue_.dropped(), queue_.bytesOut())))
        std::fprintf(stderr, "kestro-sim: cannot write %s: %s\n", o_.statsFile.c_str(), std::strerror(errno));
}

void Simulator::emit(const SimLine& line) {
    if (silent_) return;
    if (hungUp_) {
        // Nobody listening: what a meter sends now is lost on the wire.
        queue_.push(line);
        queue_.dropAll();
        return;
    }
    std::string noise;
    if (o_.garbage && std::uniform_int_distribution<int>(1, 8)(rng_) == 1) noise = makeNoise(rng_);
    queue_.push(line, noise);
}

void Simulator::handleCommand(const std::string& raw) {
    stats_.command(raw);
    cmdLog_.append(raw);
    if (silent_) return;
    for (const SimLine& l : instrument_.command(raw, secondsSinceStart(monoMs())))
        emit(l);
}

void Simulator::readCommands() {
    char buf[4096];
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EIO) goHungUp();
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\r') {
                if (!cmdBuf_.empty()) handleCommand(cmdBuf_);
                cmdBuf_.clear();
            } else if (cmdBuf_.size() < kMaxCommand) {
                cmdBuf_ += buf[i];
            }
        }
    }
}

void Simulator::goHungUp() {
    if (hungUp_) return;
    hungUp_ = true;
    blocked_ = false;
    cmdBuf_.clear();
    queue_.dropAll();
    // Unread output would greet the next opener as stale data. Flushing from
    // the master side does not reach what the kernel still holds for the slave,
    // so open the slave briefly and empty it from there.
    tcflush(master_, TCIOFLUSH);
    const int slave = open(slaveName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        tcflush(slave, TCIFLUSH);
        char buf[4096];
        while (read(slave, buf, sizeof buf) > 0) {}
        close(slave);
    }
}

void Simulator::pump(double now) {
    if (hungUp_ || silent_) return;
    const auto write = [this](const char* p, std::size_t n) {
        return ::write(master_, p, n);
    };
    const auto sent = [this](const SimLine& l, double) {
        if (l.value) {
            stats_.sent(l.key);
            sentLog_.append(l.text);
        }
    };
    for (;;) {
        const auto r = queue_.service(now, write, sent);
        blocked_ = r == OutputQueue::Result::Blocked;
        if (r == OutputQueue::Result::HungUp) {
            goHungUp();
            return;
        }
        // Flooding at line rate: a new fast value whenever the line has room for one.
        if (!o_.lineRate || queue_.lines() != 0 || !instrument_.fastValuesOn()) return;
        if (const auto l = instrument_.fastLine(secondsSinceStart(now))) emit(*l);
    }
}

// A meter that hands over a backlog at once: consecutive readings a field step
// apart, all queued before the next write.
void Simulator::fastBurst(double now) {
    if (silent_ || !instrument_.fastValuesOn()) return;
    for (int i = 0; i < o_.fastBurst; ++i)
        if (const auto l = instrument_.fastLine(secondsSinceStart(now) + i * SoundField::kStepS)) emit(*l);
}

int Simulator::run() {
    if (!setUp()) {
        tearDown();
        return 1;
    }
    startMs_ = monoMs();
    // Simulators with one seed and one epoch hear the same sound at the same moment.
    if (o_.epochMs >= 0) startMs_ -= clockMs(CLOCK_REALTIME) - double(o_.epochMs);
    double nextSlow = nextOnGrid(startMs_, o_.slowMs, monoMs());
    double nextFast = nextOnGrid(startMs_, o_.fastMs, monoMs());
    const double silentAt = o_.silentAfter >= 0 ? startMs_ + o_.silentAfter * 1000.0 : -1.0;
    const double exitAt = o_.exitAfter >= 0 ? startMs_ + o_.exitAfter * 1000.0 : -1.0;

    for (;;) {
        double now = monoMs();
        double wake = nextSlow;
        if (!o_.lineRate && instrument_.fastValuesOn()) wake = std::min(wake, nextFast);
        if (silentAt >= 0 && !silent_) wake = std::min(wake, silentAt);
        if (exitAt >= 0) wake = std::min(wake, exitAt);
        const double qWake = queue_.nextWakeMs(now);
        if (qWake >= 0 && !blocked_) wake = std::min(wake, qWake);
        if (hungUp_) wake = std::min(wake, now + kHangupCheckMs);
        const int timeout = static_cast<int>(std::clamp(std::ceil(wake - now), 0.0, 1000.0));

        pollfd fds[2] = {{sigFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        if (blocked_) fds[1].events |= POLLOUT;
        // A master without a slave reports POLLHUP all the time; leave it out then and look again later.
        const nfds_t nfds = hungUp_ ? 1 : 2;
        if (poll(fds, nfds, timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "kestro-sim: poll: %s\n", std::strerror(errno));
            break;
        }

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo si{};
            bool quit = false;
            while (read(sigFd_, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
                if (si.ssi_signo == SIGUSR1)
                    writeStats();
                else if (si.ssi_signo == SIGUSR2)
                    instrument_.toggleCalibration();
                else if (static_cast<int>(si.ssi_signo) == SIGRTMIN)
                    fastBurst(monoMs());
                else
                    quit = true;
            }
            if (quit) break;
        }

        if (hungUp_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) {
                hungUp_ = false;
                cmdBuf_.clear();
            }
        } else {
            if (fds[1].revents & POLLIN) readCommands();
            if (!hungUp_ && (fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN)) goHungUp();
            if (fds[1].revents & POLLOUT) blocked_ = false;
        }

        now = monoMs();
        if (exitAt >= 0 && now >= exitAt) break;
        if (silentAt >= 0 && !silent_ && now >= silentAt) {
            silent_ = true;
            queue_.dropAll();
        }
        if (now >= nextSlow) {
            if (const auto l = instrument_.slowLine(secondsSinceStart(now)); l && !silent_) emit(*l);
            nextSlow = nextOnGrid(startMs_, o_.slowMs, now);
        }
        if (now >= nextFast) {
            if (!o_.lineRate && instrument_.fastValuesOn() && !silent_) {
                if (const auto l = instrument_.fastLine(secondsSinceStart(now))) emit(*l);
            }
            nextFast = nextOnGrid(startMs_, o_.fastMs, now);
        }
        if (!blocked_) pump(now);
    }
    tearDown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions o;
    const std::string err = parseOptions(argc, argv, o);
    if (!err.empty()) {
        std::fprintf(stderr, "kestro-sim: %s\n%s", err.c_str(), usageText(argv[0]).c_str());
        return 2;
    }
    if (o.help) {
        std::fputs(usageText(argv[0]).c_str(), stdout);
        return 0;
    }
    Simulator sim(o);
    return sim.run();
}
