#pragma once
// Numeric argument scanner of the answer lines and the eight-digit fast value field.

#include "core/Errors.h"
#include "protocol/DeviceModule.h"

#include <cstdint>
#include <stdexcept>

namespace kestro {

// A failure inside the interpreter or a handler; the interpreter logs errNo.
class ProtocolFailure : public std::runtime_error {
public:
    explicit ProtocolFailure(int32_t errNo) : std::runtime_error("protocol failure"), errNo_(errNo) {}
    int32_t errNo() const { return errNo_; }

private:
    int32_t errNo_;
};

bool IsHexDigit(char c);
bool IsLetter(char c);   // A-Z, a-z
bool IsKeyChar(char c);  // letters, '-' and '_'
// Value of a hexadecimal digit; '.' counts as 0; anything else gives 16.
int hexDigitValue(char c);

// Scan ArgText into Args[1..2]; result: numbers completed since the last error (0..2).
// Throws ProtocolFailure(kErrOverflow) when a number leaves the 32-bit range.
int16_t ParseArgsFromText(DeviceModule& ps);
// Same scan over the receive buffer after CurChar, up to and including the line's
// carriage return (lowering RxLineCount for it). Throws like ParseArgsFromText.
int16_t ParseArgsFromBuffer(DeviceModule& ps);

// Eight hexadecimal digits, most significant first, are the bits of an IEEE-754
// single; the result is that number. Anything but exactly eight digits gives NaN.
double ConvertASCIIHexToFloat(const char* text);

}  // namespace kestro
