#include "Instrument.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kestrosim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLpTimeConstantS = 0.125;
constexpr int kErrOneIn = 100;  // slow readings per "err" reading, with faults on

double energyOf(double db) { return std::pow(10.0, db / 10.0); }
double dbOf(double energy) { return 10.0 * std::log10(energy); }

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimBlanks(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

enum class Arg { None, Number, Bad };

// Commands carry at most one unsigned decimal argument.
Arg parseArg(const std::string& rest, long& out) {
    const std::string a = trimBlanks(rest);
    if (a.empty()) return Arg::None;
    if (a.size() > 9 || !std::all_of(a.begin(), a.end(), [](char c) { return c >= '0' && c <= '9'; })) return Arg::Bad;
    out = std::stol(a);
    return Arg::Number;
}

int variantFor(int function) {
    switch (function) {
        case 2:
        case 3:
        case 4:
            return 2;  // measurement / calibration running
        default:
            return 1;
    }
}

const char* slowKeyFor(int function) {
    switch (function) {
        case 1:
            return "lp";
        case 2:
            return "leq";
        case 3:
            return "max";
        case 4:
            return "cal";
        default:
            return nullptr;
    }
}

const char* fastKeyFor(int function) {
    switch (function) {
        case 1:
            return "p";
        case 2:
            return "q";
        case 3:
            return "r";
        default:
            return nullptr;
    }
}

}  // namespace

std::string floatHex(float v) {
    std::uint32_t bits = 0;
    static_assert(sizeof bits == sizeof v, "float must be 32 bits");
    std::memcpy(&bits, &v, sizeof bits);
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(bits));
    return buf;
}

SoundField::SoundField(std::uint64_t seed, bool overloads, std::vector<Burst> bursts)
    : rng_(seed), overloads_(overloads), bursts_(std::move(bursts)) {
    phase_ = std::uniform_real_distribution<double>(0.0, 2.0 * kPi)(rng_);
}

double SoundField::step() {
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    t_ += kStepS;

    // Background: 57 dB with a five-minute swell and an Ornstein-Uhlenbeck wander (about 2 dB).
    constexpr double wanderTau = 20.0;
    wander_ += -wander_ * kStepS / wanderTau + 0.63 * std::sqrt(kStepS) * gauss(rng_);
    const double background = 57.0 + 6.0 * std::sin(2.0 * kPi * t_ / 300.0 + phase_) + wander_;

    // Bursts (a passing car, a door) about every 15 s; with faults some overload the 50-110 range.
    if (burstDb_ <= 0.0 && uni(rng_) < kStepS / 15.0) {
        const bool overload = overloads_ && uni(rng_) < 0.15;
        burstDb_ = overload ? 100.0 + 20.0 * uni(rng_) : 70.0 + 25.0 * uni(rng_);
        burstDecayDbPerS_ = 4.343 / (0.3 + 2.7 * uni(rng_));
    }
    double energy = energyOf(background);
    if (burstDb_ > 0.0) {
        energy += energyOf(burstDb_);
        burstDb_ -= burstDecayDbPerS_ * kStepS;
        if (burstDb_ < 40.0) burstDb_ = 0.0;
    }
    for (const Burst& b : bursts_)
        if (t_ >= b.atS && t_ < b.atS + b.durationS) energy += energyOf(b.db);
    return std::clamp(dbOf(energy) + 0.8 * gauss(rng_), 20.0, 140.0);
}

Instrument::Instrument(const InstrumentConfig& cfg, std::uint64_t seed)
    : cfg_(cfg),
      field_(seed, cfg.faults, cfg.bursts),
      rng_(seed ^ 0x9E3779B97F4A7C15ull),
      function_(cfg.function),
      variant_(variantFor(cfg.function)),
      range_(cfg.range == 0 ? 2 : cfg.range),
      autoRange_(cfg.range == 0),
      nextReadingT_(cfg.readingPeriodS) {
    advanceTo(SoundField::kStepS);
}

void Instrument::advanceTo(double t) {
    // After a long stall (suspended process) there is no point replaying hours of steps.
    if (t - fieldT_ > 60.0) fieldT_ = t - 60.0;
    if (t - nextReadingT_ > 60.0)
        nextReadingT_ += std::floor((t - nextReadingT_) / cfg_.readingPeriodS) * cfg_.readingPeriodS;
    while (fieldT_ + SoundField::kStepS <= t) {
        fieldT_ += SoundField::kStepS;
        integrate(field_.step());
        if (fieldT_ + 1e-9 >= nextReadingT_) {
            takeReading();
            nextReadingT_ += cfg_.readingPeriodS;
        }
    }
}

void Instrument::takeReading() {
    const double lp = dbOf(lpEnergy_);
    if (restartPending_) {
        restartPending_ = false;
        sumEnergy_ = 0.0;
        sumTime_ = 0.0;
        maxDb_ = lp;
        latchedOver_ = false;
        latchedUnder_ = false;
    }
    maxDb_ = std::max(maxDb_, lp);
    readingDb_ = displayedDb();
    readingStatus_ = statusDigit();
}

void Instrument::integrate(double levelDb) {
    constexpr double dt = SoundField::kStepS;
    instDb_ = levelDb;
    const double e = energyOf(levelDb);
    if (lpEnergy_ < 0.0)
        lpEnergy_ = e;
    else
        lpEnergy_ += (e - lpEnergy_) * dt / kLpTimeConstantS;
    const double lp = dbOf(lpEnergy_);

    sumEnergy_ += e * dt;
    sumTime_ += dt;

    if (autoRange_) {
        // Hysteresis so that the range does not flutter at a bracket edge.
        if (range_ < 3 && lp > rangeHighDb(range_) - 3.0)
            ++range_;
        else if (range_ > 1 && lp < rangeHighDb(range_ - 1) - 10.0)
            --range_;
    }
    if (function_ == 2 || function_ == 3) {
        latchedOver_ = latchedOver_ || lp > rangeHighDb(range_);
        latchedUnder_ = latchedUnder_ || lp < rangeLowDb(range_);
    }
}

// Selected again or anew, a function starts a new measurement.
void Instrument::switchFunction(int function) {
    function_ = function;
    variant_ = variantFor(function);
    restartPending_ = true;
}

double Instrument::runningLeqDb() const { return sumTime_ > 0.0 ? dbOf(sumEnergy_ / sumTime_) : dbOf(lpEnergy_); }

double Instrument::displayedDb() const {
    switch (function_) {
        case 2:
            return runningLeqDb();
        case 3:
            return maxDb_;
        default:
            return dbOf(lpEnergy_);
    }
}

int Instrument::statusDigit() const {
    if (!cfg_.faults || function_ == 4) return 0;
    // State 1: now beyond the bracket; state 2: was beyond since the measurement started.
    const double lp = dbOf(lpEnergy_);
    int over = lp > rangeHighDb(range_) ? 1 : 0;
    int under = lp < rangeLowDb(range_) ? 1 : 0;
    if (function_ == 2 || function_ == 3) {
        over |= latchedOver_ ? 2 : 0;
        under |= latchedUnder_ ? 2 : 0;
    }
    return (over << 2) | under;
}

int Instrument::reportedTenths() const {
    if (function_ == 4)
        return static_cast<int>(std::lround((cfg_.calLevelDb + cfg_.calDriftDbPerMin * fieldT_ / 60.0) * 10.0));
    const double db = std::clamp(readingDb_, double(rangeLowDb(range_)), double(rangeHighDb(range_)));
    return static_cast<int>(std::lround(db * 10.0));
}

void Instrument::toggleCalibration() {
    if (function_ == 4) {
        switchFunction(beforeCalibration_);
        return;
    }
    beforeCalibration_ = function_ >= 1 && function_ <= 3 ? function_ : 1;
    switchFunction(4);
}

bool Instrument::fastValuesOn() const { return fastOn_ && fastKeyFor(function_) != nullptr; }

SimLine Instrument::makeLine(const std::string& key, const std::string& args, bool value) const {
    SimLine l;
    l.key = key;
    l.value = value;
    l.text = key;
    if (cfg_.upper) {
        for (char& c : l.text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!args.empty()) l.text += " " + args;
    return l;
}

SimLine Instrument::valueLine(const std::string& key) {
    return makeLine(key, std::to_string(reportedTenths()) + " " + "0123456789ABCDEF"[readingStatus_], true);
}

std::optional<SimLine> Instrument::slowLine(double t) {
    advanceTo(t);
    const char* key = slowKeyFor(function_);
    if (!key || restartPending_) return std::nullopt;
    // A failed reading: underflow state 3, the overflow state stays as it is.
    if (cfg_.faults && function_ != 4 && std::uniform_int_distribution<int>(1, kErrOneIn)(rng_) == 1)
        return makeLine(key, std::string("err ") + "0123456789ABCDEF"[readingStatus_ | 3], true);
    return valueLine(key);
}

std::optional<SimLine> Instrument::fastLine(double t) {
    advanceTo(t);
    const char* key = fastKeyFor(function_);
    if (!fastOn_ || !key) return std::nullopt;
    const double lo = rangeLowDb(range_);
    const double hi = rangeHighDb(range_);
    double linear = 0.0;
    switch (function_) {
        case 1:
            linear = energyOf(std::clamp(dbOf(lpEnergy_), lo, hi));
            break;
        case 2:
            linear = energyOf(std::clamp(runningLeqDb(), lo, hi));
            break;
        default:
            linear = std::pow(10.0, std::clamp(instDb_, lo, hi) / 20.0);
            break;  // raw amplitude
    }
    // The status digit follows the eight value digits directly.
    std::string args = floatHex(static_cast<float>(linear));
    args += "0123456789ABCDEF"[statusDigit()];
    return makeLine(key, args, true);
}

std::vector<SimLine> Instrument::command(const std::string& text, double t) {
    advanceTo(t);
    const auto blank = text.find(' ');
    const std::string key = lower(text.substr(0, blank));
    const std::string rest = blank == std::string::npos ? std::string() : text.substr(blank);
    long n = 0;
    const Arg arg = parseArg(rest, n);
    const SimLine unknown = makeLine("?", "", false);

    auto echo = [&](int& stored, long lo, long hi) -> SimLine {
        if (arg == Arg::Bad || (arg == Arg::Number && (n < lo || n > hi))) return unknown;
        if (arg == Arg::Number) stored = static_cast<int>(n);
        return makeLine(key, std::to_string(stored), false);
    };
    auto fixed = [&](const std::string& args) {
        return std::vector<SimLine>{makeLine(key, args, false)};
    };

    if (key == "gsn") {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08u", static_cast<unsigned>(cfg_.serial));
        return fixed(buf);
    }
    if (key == "gds") {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%X%X%X%X%X", function_ & 15, variant_ & 15, rangeCode() & 15, keyState_ & 15,
                      cfg_.battery & 15);
        return fixed(buf);
    }
    if (key == "swm") {
        // 0 is the power key: back to Lp. 4 and 5 cannot be entered remotely.
        if (arg == Arg::Bad || (arg == Arg::Number && n > 5)) return {unknown};
        if (arg == Arg::Number && n == 0)
            switchFunction(1);
        else if (arg == Arg::Number && n <= 3)
            switchFunction(static_cast<int>(n));
        return fixed(std::to_string(arg == Arg::Number && n <= 3 ? n : function_));
    }
    if (key == "smr") {
        if (arg == Arg::Bad || (arg == Arg::Number && n > 3)) return {unknown};
        if (arg == Arg::Number) {
            autoRange_ = n == 0;
            if (n > 0) range_ = static_cast<int>(n);
        }
        return fixed(std::to_string(autoRange_ ? 0 : range_));
    }
    if (key == "awm") {
        if (arg == Arg::Bad || (arg == Arg::Number && n > 1)) return {unknown};
        if (arg == Arg::Number) fastOn_ = n == 1;
        return fixed(fastOn_ ? "1" : "0");
    }
    if (key == "smm") return {echo(measMode_, 0, 9)};
    if (key == "saa") return {echo(saa_, 0, 99999)};
    if (key == "sso") return {echo(sso_, 0, 99999)};
    if (key == "sks") {
        int k = keyState_;
        SimLine l = echo(k, 0, 99999);
        if (l.key != "?") keyState_ = k % 10;
        return {l};
    }
    if (key == "ldk") {
        if (arg == Arg::Number) keyState_ = static_cast<int>(n % 10);
        return fixed("");
    }
    if (key == "gdi" || key == "gsi") return fixed("");
    if (key == "gdv") return {valueLine("gdv")};
    if (key == "sw-rev") return fixed("V1.23");
    if (key == "hw-rev") return fixed("H2.0");
    if (key == "grc") {
        static const char* const factors[] = {"1.0000", "1.0234", "0.9871"};
        const long i = arg == Arg::Number ? n : 0;
        if (arg == Arg::Bad || i > 2) return {unknown};
        return fixed(std::to_string(i) + " " + factors[i]);
    }
    if (key == "gso") return fixed("3A");
    if (key == "rdc" || key == "wdc") return fixed("ok");
    if (key == "flash") return fixed("2048");
    if (key == "v_batt") return fixed("2870");
    if (key == "v_cpu") return fixed("3301");
    if (key == "v_ana") return fixed("4998");
    if (key == "temp") return fixed("23");
    if (key == "supply") return fixed("9120");
    return {unknown};
}

}  // namespace kestrosim
