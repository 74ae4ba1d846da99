#include "protocol/ArgParser.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestro {

namespace {

constexpr int kNotDigit = 16;

constexpr std::array<uint8_t, 256> makeDigitTable() {
    std::array<uint8_t, 256> t{};
    for (auto& v : t)
        v = kNotDigit;
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
    return t;
}
constexpr auto kDigit = makeDigitTable();

inline int digitOf(char c) { return kDigit[static_cast<unsigned char>(c)]; }

int baseOf(int16_t radix) {
    switch (radix) {
        case 1:
            return 16;
        case 2:
            return 2;
        default:
            return 10;  // 0, 3, and anything a handler never sets
    }
}

void accumulate(ArgRec& a, int base, int digit) {
    const int64_t v = int64_t{a.Value} * base + digit;
    if (v > std::numeric_limits<int32_t>::max()) throw ProtocolFailure(kErrOverflow);
    a.Value = static_cast<int32_t>(v);
}

struct TextSource {
    static constexpr bool kBuffer = false;
    explicit TextSource(DeviceModule& p) : text(p.ArgText) {}
    bool stop() const { return pos >= text.size(); }
    bool exhausted() const { return pos >= text.size(); }
    bool take(char& c) {
        if (pos >= text.size()) return false;
        c = text[pos++];
        return true;
    }
    void lineEnd() {}
    const std::string& text;
    size_t pos = 0;
};

struct BufferSource {
    static constexpr bool kBuffer = true;
    explicit BufferSource(DeviceModule& p) : ps(p) {}
    bool stop() const { return ps.CurChar == '\r' || ps.rxEmpty(); }
    bool exhausted() const { return ps.rxEmpty(); }
    bool take(char& c) {
        if (!ps.readRxChar(c)) return false;
        ps.CurChar = c;
        return true;
    }
    void lineEnd() {
        if (ps.RxLineCount > 0) --ps.RxLineCount;
    }
    DeviceModule& ps;
};

template <class Src>
int16_t scan(DeviceModule& ps, Src& src) {
    int k = 0;
    for (;;) {
        if (src.stop()) return static_cast<int16_t>(k);
        char c = 0;
        bool found = false;
        while (src.take(c)) {
            if (digitOf(c) != kNotDigit) {
                found = true;
                break;
            }
            if (Src::kBuffer && c == '\r') {
                src.lineEnd();
                break;
            }
        }
        if (!found) continue;  // the stop test now ends the scan

        if (++k > 2) {  // a third number: forget the line so far, drop this digit
            k = 0;
            continue;
        }
        ArgRec& a = ps.Args[k];
        a.Value = 0;
        a.Digits = 0;
        const int base = baseOf(a.Radix);
        bool fraction = false;
        for (;;) {
            const int d = c == '.' ? 0 : digitOf(c);
            bool error = false;
            if (fraction) {
                // The step onto the point itself only counts.
                if (a.Digits > 0) {
                    if (d < base)
                        accumulate(a, base, d);
                    else
                        error = true;
                }
                if (a.Digits == std::numeric_limits<int16_t>::max()) throw ProtocolFailure(kErrOverflow);
                ++a.Digits;
            } else if (d < base) {
                accumulate(a, base, d);
            } else {
                error = true;
            }
            if (error) k = 0;
            if (src.exhausted()) {  // a number cut off by the end is no number
                k = 0;
                break;
            }
            src.take(c);
            if (Src::kBuffer && c == '\r') src.lineEnd();
            if (error) break;
            if (c == '.') {
                if (a.Radix == 3) fraction = true;
                continue;
            }
            if (digitOf(c) == kNotDigit) {
                if (fraction && a.Digits > 0) --a.Digits;
                break;
            }
        }
    }
}

}  // namespace

bool IsHexDigit(char c) { return digitOf(c) != kNotDigit; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsKeyChar(char c) { return IsLetter(c) || c == '-' || c == '_'; }
int hexDigitValue(char c) { return c == '.' ? 0 : digitOf(c); }

int16_t ParseArgsFromText(DeviceModule& ps) {
    TextSource src(ps);
    return scan(ps, src);
}

int16_t ParseArgsFromBuffer(DeviceModule& ps) {
    BufferSource src(ps);
    return scan(ps, src);
}

double ConvertASCIIHexToFloat(const char* text) {
    if (text == nullptr) return std::numeric_limits<double>::quiet_NaN();
    uint32_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        const int d = digitOf(text[i]);  // stops at the terminator, never reads past it
        if (d == kNotDigit) return std::numeric_limits<double>::quiet_NaN();
        bits = (bits << 4) | static_cast<uint32_t>(d);
    }
    if (text[8] != '\0') return std::numeric_limits<double>::quiet_NaN();
    float f = 0.f;
    static_assert(sizeof f == sizeof bits, "IEEE-754 single expected");
    std::memcpy(&f, &bits, sizeof f);
    return static_cast<double>(f);
}

}  // namespace kestro
