#pragma once
// Failures of picture and option selection (kErrInvalidPicture: the element
// keeps its picture; kErrNoSuchOption). The poll tick's handler logs the
// number and goes on with its next statement.

#include "core/Errors.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestro {

struct PictureError : std::runtime_error {
    PictureError(int32_t n, const std::string& what) : std::runtime_error(what), number(n) {}
    int32_t number;
};

}  // namespace kestro
