#pragma once
// Failures of picture and option selection. The poll tick's handler logs the
// number and goes on with its next statement.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestro {

// An image list index or key with no picture; the element keeps its picture.
constexpr int32_t kErrInvalidPicture = 380;
// An option button index outside its array.
constexpr int32_t kErrNoSuchOption = 340;

struct PictureError : std::runtime_error {
    PictureError(int32_t n, const std::string& what) : std::runtime_error(what), number(n) {}
    int32_t number;
};

}  // namespace kestro
