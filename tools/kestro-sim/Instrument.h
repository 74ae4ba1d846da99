#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrosim {

// One line for the wire, without its CR.
struct SimLine {
    std::string key;     // lower-case key, also the accounting key of value lines
    std::string text;    // as written, key case already applied
    bool value = false;  // a measured value (slow, fast or "gdv"), not an echo
};

// A steady sound added for a while: a scripted loud event.
struct Burst {
    double atS = 0.0;  // seconds after the sound's start
    double durationS = 0.0;
    double db = 0.0;
};

struct InstrumentConfig {
    std::uint32_t serial = 12345678;
    int function = 1;
    int range = 2;  // 1..3, 0 = AUTO
    int battery = 3;
    bool faults = true;
    bool upper = false;
    // The meter takes a reading (level, running Leq, maximum) this often; the
    // slow values are its readings.
    double readingPeriodS = 1.0;
    double calLevelDb = 94.0;       // the calibrator's level, read in Calibration
    double calDriftDbPerMin = 0.0;  // how the reading wanders over the run
    std::vector<Burst> bursts;
};

// Sound at the microphone: a drifting background with random bursts, advanced
// in fixed steps so the readings do not depend on how often they are taken.
class SoundField {
public:
    static constexpr double kStepS = 0.005;  // finer than the fastest line-rate value

    SoundField(std::uint64_t seed, bool overloads, std::vector<Burst> bursts = {});
    double step();  // level in dB after one more step

private:
    std::mt19937_64 rng_;
    bool overloads_;
    std::vector<Burst> bursts_;
    double t_ = 0.0;
    double phase_;
    double wander_ = 0.0;   // slow random deviation of the background, dB
    double burstDb_ = 0.0;  // current burst level, 0 = no burst
    double burstDecayDbPerS_ = 0.0;
};

// The meter: state machine of functions and ranges, the measured values and
// the answers to commands.
class Instrument {
public:
    Instrument(const InstrumentConfig& cfg, std::uint64_t seed);

    // Answers to one received command (text without its CR); t in seconds since start.
    std::vector<SimLine> command(const std::string& text, double t);
    // Unsolicited values; nothing in functions without a value stream.
    std::optional<SimLine> slowLine(double t);
    std::optional<SimLine> fastLine(double t);

    // The user turns the meter to Calibration, or back to the function before it.
    void toggleCalibration();

    bool fastValuesOn() const;
    int function() const { return function_; }
    int variant() const { return variant_; }
    int rangeCode() const { return (autoRange_ ? 4 : 0) | range_; }

    static int rangeLowDb(int range) { return 10 + 20 * range; }
    static int rangeHighDb(int range) { return 70 + 20 * range; }

private:
    void advanceTo(double t);
    void integrate(double levelDb);
    void takeReading();
    void switchFunction(int function);
    double displayedDb() const;
    double runningLeqDb() const;
    int statusDigit() const;
    int reportedTenths() const;
    SimLine makeLine(const std::string& key, const std::string& args, bool value) const;
    SimLine valueLine(const std::string& key);

    InstrumentConfig cfg_;
    SoundField field_;
    std::mt19937_64 rng_;
    double fieldT_ = 0.0;

    int function_;
    int variant_;
    int beforeCalibration_ = 1;
    int range_;
    bool autoRange_;
    int keyState_ = 0;
    int measMode_ = 0;
    int saa_ = 0;
    int sso_ = 0;
    bool fastOn_ = false;

    double instDb_ = 0.0;   // level of the last step
    double lpEnergy_ = -1;  // time-weighted energy, < 0 until the first step
    double sumEnergy_ = 0.0;
    double sumTime_ = 0.0;
    // Selecting a function starts a new measurement at the next reading; the
    // meter sends no value of the old one meanwhile.
    bool restartPending_ = true;
    double nextReadingT_;
    double maxDb_ = 0.0;      // the highest reading of the measurement
    double readingDb_ = 0.0;  // the last reading as displayed
    int readingStatus_ = 0;
    bool latchedOver_ = false;
    bool latchedUnder_ = false;
};

// Fast value field: the IEEE-754 single-precision bits, most significant first.
std::string floatHex(float v);

}  // namespace kestrosim
