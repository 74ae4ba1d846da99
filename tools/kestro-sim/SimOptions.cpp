#include "SimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kestrosim {

namespace {

bool toLong(const std::string& s, long long lo, long long hi, long long& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool toSeconds(const std::string& s, double& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0.0) return false;
    out = v;
    return true;
}

bool toDb(const std::string& s, double lo, double hi, double& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

}  // namespace

std::string usageText(const char* argv0) {
    std::string u = "Usage: ";
    u += argv0;
    u += " [options]\n"
         "Plays the sound level meter on a pseudo-terminal (9600,N,8,1 line protocol).\n"
         "\n"
         "  --link PATH          publish the terminal as symlink PATH (removed on exit)\n"
         "  --serial N           serial number, up to eight digits (default 12345678)\n"
         "  --function N         start function 0..5 (default 1, Lp)\n"
         "  --range N            start range 1..3, 0 = AUTO (default 2)\n"
         "  --battery N          battery digit 0..15 (default 3, full)\n"
         "  --cal-level DB       calibrator level read in Calibration (function 4; default 94.0)\n"
         "  --cal-drift DB       change of that reading per minute of the run (default 0)\n"
         "                       SIGUSR2 turns the meter to Calibration and back\n"
         "  --slow-ms N          slow value period in ms (default 1000)\n"
         "  --fast-ms N          fast value period in ms while armed (default 125)\n"
         "  --fast-burst N       fast values written at once on SIGRTMIN while armed (default 30)\n"
         "  --no-faults          no err readings, no overflow or underflow states\n"
         "  --silent-after SEC   stop answering and sending after SEC seconds, stay alive\n"
         "  --exit-after SEC     exit cleanly after SEC seconds\n"
         "  --garbage            random noise bytes (never CR, never letters) between lines\n"
         "  --split              write lines in random pieces with small delays\n"
         "  --upper              upper-case keys\n"
         "  --line-rate          pace all output to 960 bytes/s; flood fast values while armed\n"
         "  --seed N             deterministic randomness\n"
         "  --burst AT:DUR:DB    add a steady DB (20..140) from AT to AT+DUR seconds after the sound's start;\n"
         "                       repeatable\n"
         "  --epoch-ms N         the sound starts at this wall-clock time (ms since 1970, at most a minute\n"
         "                       ago): simulators with one seed and epoch hear the same sound, readings\n"
         "                       at the same instants\n"
         "  --queue-lines N      output queue bound in lines (default 256); beyond it lines are dropped\n"
         "  --stats FILE         on exit and on SIGUSR1 write commands and counters to FILE\n"
         "  --sent-log FILE      append '<epoch ms> <line>' for every value line written\n"
         "  --cmd-log FILE       append '<epoch ms> <command>' for every command received\n"
         "  --help               this text\n";
    return u;
}

std::string parseOptions(int argc, const char* const* argv, SimOptions& o) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool inlineValue = false;
        const auto eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }

        auto flag = [&](bool& target) -> std::string {
            if (inlineValue) return name + " takes no value";
            target = true;
            return {};
        };
        auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        auto integer = [&](long long lo, long long hi, long long& out) -> std::string {
            if (!takeValue() || !toLong(value, lo, hi, out))
                return name + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
            return {};
        };
        auto seconds = [&](double& out) -> std::string {
            if (!takeValue() || !toSeconds(value, out)) return name + " needs a number of seconds";
            return {};
        };
        auto text = [&](std::string& out) -> std::string {
            if (!takeValue() || value.empty()) return name + " needs a value";
            out = value;
            return {};
        };

        std::string err;
        long long n = 0;
        if (name == "--help" || name == "-h") {
            err = flag(o.help);
        } else if (name == "--link") {
            err = text(o.link);
        } else if (name == "--serial") {
            if ((err = integer(0, 99999999, n)).empty()) o.serial = static_cast<std::uint32_t>(n);
        } else if (name == "--function") {
            if ((err = integer(0, 5, n)).empty()) o.function = static_cast<int>(n);
        } else if (name == "--range") {
            if ((err = integer(0, 3, n)).empty()) o.range = static_cast<int>(n);
        } else if (name == "--battery") {
            if ((err = integer(0, 15, n)).empty()) o.battery = static_cast<int>(n);
        } else if (name == "--cal-level") {
            if (!takeValue() || !toDb(value, 20.0, 140.0, o.calLevel)) err = name + " needs a level from 20 to 140 dB";
        } else if (name == "--cal-drift") {
            if (!takeValue() || !toDb(value, -10.0, 10.0, o.calDrift))
                err = name + " needs dB per minute from -10 to 10";
        } else if (name == "--slow-ms") {
            if ((err = integer(1, 3600000, n)).empty()) o.slowMs = static_cast<int>(n);
        } else if (name == "--fast-ms") {
            if ((err = integer(1, 3600000, n)).empty()) o.fastMs = static_cast<int>(n);
        } else if (name == "--fast-burst") {
            if ((err = integer(1, 1000, n)).empty()) o.fastBurst = static_cast<int>(n);
        } else if (name == "--queue-lines") {
            if ((err = integer(1, 1000000, n)).empty()) o.queueLines = static_cast<std::size_t>(n);
        } else if (name == "--seed") {
            if ((err = integer(0, INT64_MAX, n)).empty()) {
                o.seed = static_cast<std::uint64_t>(n);
                o.seedGiven = true;
            }
        } else if (name == "--epoch-ms") {
            if ((err = integer(0, INT64_MAX, n)).empty()) o.epochMs = n;
        } else if (name == "--silent-after") {
            err = seconds(o.silentAfter);
        } else if (name == "--exit-after") {
            err = seconds(o.exitAfter);
        } else if (name == "--stats") {
            err = text(o.statsFile);
        } else if (name == "--sent-log") {
            err = text(o.sentLog);
        } else if (name == "--cmd-log") {
            err = text(o.cmdLog);
        } else if (name == "--garbage") {
            err = flag(o.garbage);
        } else if (name == "--split") {
            err = flag(o.split);
        } else if (name == "--upper") {
            err = flag(o.upper);
        } else if (name == "--line-rate") {
            err = flag(o.lineRate);
        } else if (name == "--burst") {
            Burst b;
            const bool given = takeValue();
            const auto first = value.find(':');
            const auto second = first == std::string::npos ? first : value.find(':', first + 1);
            if (!given || second == std::string::npos || !toSeconds(value.substr(0, first), b.atS) ||
                !toSeconds(value.substr(first + 1, second - first - 1), b.durationS) ||
                !toDb(value.substr(second + 1), 20.0, 140.0, b.db))
                err = name + " needs AT:DUR:DB, seconds and a level from 20 to 140 dB";
            else
                o.bursts.push_back(b);
        } else if (name == "--no-faults") {
            err = flag(o.noFaults);
        } else {
            err = "unknown option " + name;
        }
        if (!err.empty()) return err;
    }
    return {};
}

}  // namespace kestrosim
