#include "array/error.hpp"

namespace tessaron {

static std::string where(const std::source_location& loc) {
    return std::string(loc.file_name()) + ":" + std::to_string(loc.line());
}

void fail(std::string message) { throw Error{std::move(message)}; }

void panic(std::string message, std::source_location loc) {
    throw Panic{std::move(message), where(loc)};
}

void panic_not_equal(const std::string& message, const std::string& left,
                     const std::string& right, std::source_location loc) {
    panic("assertion `left == right` failed: " + message + "\n  left: " + left +
              "\n right: " + right,
          loc);
}

void panic_out_of_bounds(std::uint64_t len, std::uint64_t index, std::source_location loc) {
    panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
              std::to_string(index),
          loc);
}

}  // namespace tessaron
