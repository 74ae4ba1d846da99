#include "SimHarness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

long long realtimeMs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> splitLines(const std::string& text, char sep)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return out;  // an unterminated tail is not a line
}

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    std::string tmpl = ::testing::TempDir() + "kestro-sim-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return;
    dir_ = tmpl;

    std::vector<std::string> full = {KESTRO_SIM_PATH, "--link", link()};
    full.insert(full.end(), args.begin(), args.end());
    const std::string out = path("sim.out");

    pid_ = fork();
    if (pid_ == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(o, 2);
        // Relative file arguments (stats, sent log) land in the private directory.
        if (chdir(dir_.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        for (auto& a : full)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto end = Clock::now() + std::chrono::seconds(5);
    struct stat st{};
    while (Clock::now() < end && pid_ > 0) {
        if (lstat(link().c_str(), &st) == 0) {
            started_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SimProcess::~SimProcess()
{
    closeLink();
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool SimProcess::openLink()
{
    fd_ = ::open(link().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
    pending_.clear();
    return true;
}

void SimProcess::closeLink()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void SimProcess::send(const std::string& command)
{
    const std::string s = command + "\r";
    ASSERT_EQ(::write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size()));
}

std::optional<std::string> SimProcess::readLine(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto cr = pending_.find('\r');
        if (cr != std::string::npos) {
            std::string line = pending_.substr(0, cr);
            pending_.erase(0, cr + 1);
            return line;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, msLeft(end)) <= 0)
            return std::nullopt;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            pending_.append(buf, static_cast<std::size_t>(n));
            bytesReceived_ += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return std::nullopt;
        }
    }
}

std::string SimProcess::readFor(int ms, int* reads, int* midLine)
{
    std::string out = pending_;
    pending_.clear();
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (msLeft(end) > 0) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, msLeft(end)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            continue;
        out.append(buf, static_cast<std::size_t>(n));
        bytesReceived_ += n;
        if (reads)
            ++*reads;
        if (midLine && buf[n - 1] != '\r')
            ++*midLine;
    }
    return out;
}

std::vector<std::string> SimProcess::linesFor(int ms)
{
    std::vector<std::string> lines;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (const auto l = readLine(msLeft(end)))
        lines.push_back(*l);
    return lines;
}

std::string SimProcess::drain(int quietMs)
{
    std::string out = pending_;
    pending_.clear();
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0)
            return out;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            return out;
        out.append(buf, static_cast<std::size_t>(n));
        bytesReceived_ += n;
    }
}

bool SimProcess::running()
{
    if (pid_ <= 0 || reaped_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

int SimProcess::stop(int signal, int timeoutMs)
{
    if (pid_ <= 0 || reaped_)
        return -1;
    if (signal != 0)
        kill(pid_, signal);
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}
