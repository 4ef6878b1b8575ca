// Dimension lengths of an array and the quantities derived from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "array/error.hpp"

namespace tessaron {

using Dims = std::vector<std::uint64_t>;

struct Shape {
    Dims dims;

    Shape() = default;
    Shape(Dims d) : dims(std::move(d)) {}
    Shape(std::initializer_list<std::uint64_t> d) : dims(d) {}

    std::size_t ndim() const { return dims.size(); }
    std::uint64_t operator[](std::size_t i) const { return dims[i]; }
    bool operator==(const Shape&) const = default;

    // Element count as the plain (wrapping) product; 1 for no dimensions.
    std::uint64_t wrapping_count() const;
};

// Element count, or an error when it (or its byte size) does not fit 64 bits.
Result<std::uint64_t> checked_count(const Shape& shape);

// "[2, 3]": the bracketed form used in messages and reprs.
std::string format_dims(const Dims& dims);

Dims strides_row_major(const Shape& shape);
Shape d1(std::uint64_t n);

}  // namespace tessaron
