#include "SimStats.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kestrosim {

namespace {

const char* const kValueKeys[] = {"lp", "leq", "max", "p", "q", "r", "gdv"};

bool writeAll(int fd, const std::string& s) {
    std::size_t off = 0;
    while (off < s.size()) {
        const ssize_t w = ::write(fd, s.data() + off, s.size() - off);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        off += static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

std::string SimStats::escape(const std::string& raw) {
    std::string out;
    for (unsigned char c : raw) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

void SimStats::command(const std::string& raw) { commands_.push_back(escape(raw)); }

void SimStats::sent(const std::string& key) { ++sent_[key]; }

std::uint64_t SimStats::sentCount(const std::string& key) const {
    const auto it = sent_.find(key);
    return it == sent_.end() ? 0 : it->second;
}

std::string SimStats::render(std::uint64_t dropped, std::uint64_t bytesOut) const {
    std::string s;
    for (const auto& c : commands_)
        s += "cmd " + c + "\n";
    for (const char* k : kValueKeys)
        s += std::string("sent ") + k + " " + std::to_string(sentCount(k)) + "\n";
    for (const auto& [k, n] : sent_) {
        bool listed = false;
        for (const char* v : kValueKeys)
            listed = listed || k == v;
        if (!listed) s += "sent " + k + " " + std::to_string(n) + "\n";
    }
    s += "dropped " + std::to_string(dropped) + "\n";
    s += "bytes_out " + std::to_string(bytesOut) + "\n";
    return s;
}

bool writeFileAtomically(const std::string& path, const std::string& content) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = writeAll(fd, content);
    if (::close(fd) != 0 || !ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

SentLog::~SentLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool SentLog::open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return fd_ >= 0;
}

void SentLog::append(const std::string& text) {
    if (fd_ < 0) return;
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const long long ms = static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    writeAll(fd_, std::to_string(ms) + " " + text + "\n");
}

}  // namespace kestrosim
