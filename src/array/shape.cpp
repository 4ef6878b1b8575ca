#include "array/shape.hpp"

namespace tessaron {

std::uint64_t Shape::wrapping_count() const {
    std::uint64_t n = 1;
    for (auto d : dims) n *= d;
    return n;
}

Result<std::uint64_t> checked_count(const Shape& shape) {
    std::uint64_t n = 1;
    bool fits = true;
    for (auto d : shape.dims) fits = mul_fits(n, d, n) && fits;
    // A zero length makes the true product zero even if a prefix overflowed.
    for (auto d : shape.dims)
        if (d == 0) return std::uint64_t{0};
    std::uint64_t bytes = 0;
    if (!fits || !mul_fits(n, sizeof(double), bytes) ||
        bytes > static_cast<std::uint64_t>(PTRDIFF_MAX))
        return Error{"shape " + format_dims(shape.dims) + " is too large: its element count does not fit in memory"};
    return n;
}

std::string format_dims(const Dims& dims) {
    std::string s = "[";
    for (std::size_t i = 0; i < dims.size(); ++i) {
        if (i) s += ", ";
        s += std::to_string(dims[i]);
    }
    return s + "]";
}

Dims strides_row_major(const Shape& shape) {
    Dims strides(shape.ndim());
    if (strides.empty()) return strides;
    strides.back() = 1;
    for (std::size_t i = strides.size() - 1; i-- > 0;) strides[i] = strides[i + 1] * shape.dims[i + 1];
    return strides;
}

Shape d1(std::uint64_t n) { return Shape{Dims{n}}; }

}  // namespace tessaron
