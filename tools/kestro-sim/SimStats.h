#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrosim {

// What went over the line, for test harnesses:
//   cmd <text>          every received command in order, without its CR
//   sent <key> <count>  value lines written, for every value key (0 included)
//   dropped <count>     lines lost to the queue bound, a missing reader or silence
//   bytes_out <n>       every byte written to the terminal
class SimStats {
public:
    void command(const std::string& raw);
    void sent(const std::string& key);
    std::uint64_t sentCount(const std::string& key) const;
    std::string render(std::uint64_t dropped, std::uint64_t bytesOut) const;

    // Command text as one stats line: bytes outside printable ASCII become \xHH.
    static std::string escape(const std::string& raw);

private:
    std::vector<std::string> commands_;
    std::map<std::string, std::uint64_t> sent_;
};

// Temp file next to path, then rename: readers never see half a file.
bool writeFileAtomically(const std::string& path, const std::string& content);

// "<CLOCK_REALTIME ms> <line>\n", one write(2) per line so every line is on disk
// as soon as it is on the wire.
class SentLog {
public:
    SentLog() = default;
    ~SentLog();
    SentLog(const SentLog&) = delete;
    SentLog& operator=(const SentLog&) = delete;

    bool open(const std::string& path);
    void append(const std::string& text);

private:
    int fd_ = -1;
};

}  // namespace kestrosim
