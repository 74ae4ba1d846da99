#pragma once

#include "Instrument.h"

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>

namespace kestrosim {

// Bounded queue between the instrument and the terminal. Writes never block:
// what the reader does not take stays queued, and lines beyond the bound are
// dropped whole, so a stalled reader costs lines, never a torn line.
class OutputQueue {
public:
    struct Config {
        std::size_t maxLines = 256;
        bool lineRate = false;  // 9600 baud, 10 bits per byte
        bool split = false;     // lines in random pieces with small gaps
    };
    static constexpr double kBytesPerMs = 0.96;

    enum class Result { Idle, Blocked, Waiting, HungUp };

    using WriteFn = std::function<ssize_t(const char*, std::size_t)>;
    using SentFn = std::function<void(const SimLine&, double nowMs)>;

    OutputQueue(const Config& cfg, std::uint64_t seed);

    // noise is written before the line and is not part of it. False when dropped.
    bool push(const SimLine& line, const std::string& noise = {});
    // Writes as much as pacing, split gaps and the writer allow.
    Result service(double nowMs, const WriteFn& write, const SentFn& sent);
    // Earliest time at which service() can make progress without POLLOUT; < 0 if none pending.
    double nextWakeMs(double nowMs) const;
    void dropAll();

    std::size_t lines() const { return queue_.size(); }
    std::uint64_t dropped() const { return dropped_; }
    std::uint64_t bytesOut() const { return bytesOut_; }

private:
    struct Item {
        SimLine line;
        std::string bytes;  // noise + text + CR
        std::size_t off = 0;
        std::size_t pieceEnd = 0;
        double notBefore = 0.0;
    };
    static constexpr double kBurstBytes = 16.0;  // pacing bucket: a few characters of UART FIFO
    static constexpr std::size_t kPacedChunk = 8;

    std::size_t neededBytes(const Item& it) const;
    void refill(double nowMs);

    Config cfg_;
    std::mt19937_64 rng_;
    std::deque<Item> queue_;
    std::uint64_t dropped_ = 0;
    std::uint64_t bytesOut_ = 0;
    double allowance_ = kBurstBytes;
    double lastRefillMs_ = -1.0;
};

}  // namespace kestrosim
