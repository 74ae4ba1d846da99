#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Instrument.h"

namespace kestrosim {

struct SimOptions {
    std::string link;
    std::uint32_t serial = 12345678;
    int slowMs = 1000;
    int fastMs = 125;
    int fastBurst = 30;  // fast values written at once on SIGRTMIN
    int function = 1;    // start function 0..5
    int range = 2;       // start range 1..3, 0 = AUTO
    int battery = 3;
    double calLevel = 94.0;
    double calDrift = 0.0;      // dB per minute
    double silentAfter = -1.0;  // seconds, < 0 = never
    double exitAfter = -1.0;
    bool garbage = false;
    bool split = false;
    bool upper = false;
    bool lineRate = false;
    bool noFaults = false;
    bool seedGiven = false;
    std::uint64_t seed = 0;
    long long epochMs = -1;     // wall-clock ms since 1970 of the sound's start; < 0: the program's start
    std::vector<Burst> bursts;  // --burst, in the order given
    std::size_t queueLines = 256;
    std::string statsFile;
    std::string sentLog;
    std::string cmdLog;
    bool help = false;
};

// Returns an empty string on success, otherwise a message naming the bad option.
std::string parseOptions(int argc, const char* const* argv, SimOptions& out);
std::string usageText(const char* argv0);

}  // namespace kestrosim
