#include "protocol/MeterCommands.h"

namespace kestro::meter {

std::string line(std::string_view command) {
    std::string s(command);
    s += '\r';
    return s;
}

std::string_view poll(bool serialKnown) { return serialKnown ? "gds" : "gsn"; }

std::string_view fastValues(bool on) { return on ? "awm 1" : "awm 0"; }

std::string setFunction(int16_t function) {
    return function == 0 ? std::string("swm ") : "swm " + std::to_string(function);
}

std::string_view powerOff() { return "swm 0"; }

std::string setRange(int16_t index) { return "smr " + std::to_string(index); }

std::string_view measuringMode() { return kStartup[0]; }

}  // namespace kestro::meter
