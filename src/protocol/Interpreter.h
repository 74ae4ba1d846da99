#pragma once
// Answer line interpreter: the key table and its handlers.

#include "protocol/DeviceModule.h"

#include <cstdint>

namespace kestro {

// Interprets one pending answer line (precondition: RxLineCount >= 1); always 1.
// Never throws: failures are logged as ": Interpreter: " with their number.
int16_t Interpreter(DeviceModule& ps);

// Copies the rest of the line, CurChar first, into ArgText including its carriage
// return; 1 when the carriage return was reached, else 0 and ArgText empty.
int16_t ReadArgText(DeviceModule& ps);

// Handlers, public so that tests can drive one directly after a key. Called
// outside Interpreter they may throw ProtocolFailure (ArgParser.h).
void valueLineHandler(DeviceModule& ps, int16_t code);
void fastValueHandler(DeviceModule& ps, int16_t kind);

}  // namespace kestro
