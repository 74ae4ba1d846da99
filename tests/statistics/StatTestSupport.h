#pragma once
// Local times for the statistics tests.
#include "core/Types.h"

#include <cstdint>

namespace kestro {

inline int64_t localMs(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return int64_t{dayNumber(y, mo, d)} * 86400000 + ((int64_t{h} * 60 + mi) * 60 + s) * 1000 + ms;
}

}  // namespace kestro
