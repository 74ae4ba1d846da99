#pragma once
// Every command the program sends the meter, composed beside the interpreter
// of its answers, so both directions of the wire are read in one place. The
// session decides when each is sent; the link sends the stop sequence.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestro::meter {

// The command as it goes out on the line: with its carriage return.
std::string line(std::string_view command);

// The poll of every tick: the serial number until it is known, then the status.
std::string_view poll(bool serialKnown);
// The start-up sequence after the serial-number gate, one command per tick.
constexpr std::array<std::string_view, 4> kStartup = {"smm 1", "gdv", "gdi", "ldk 3"};
// The fast values on or off (armed or not).
std::string_view fastValues(bool on);
// The function to measure; 0 as the format "#" writes it, without digits.
std::string setFunction(int16_t function);
// The power key: function 0, written out.
std::string_view powerOff();
std::string setRange(int16_t index);
// After disarming: back to the measuring mode of the start-up.
std::string_view measuringMode();
// At the end of the program, before the port closes.
constexpr std::array<std::string_view, 2> kStop = {"SMM 0", "LDK 0"};

}  // namespace kestro::meter
