#include "array/constructors.hpp"

namespace tessaron {

NdArray full(const Shape& shape, double value) {
    return NdArray::make(shape, Buffer::filled(alloc_count(shape), value));
}
NdArray zeros(const Shape& shape) { return full(shape, 0.0); }
NdArray ones(const Shape& shape) { return full(shape, 1.0); }

// |k| as unsigned without overflow for INT64_MIN.
static std::uint64_t magnitude(std::int64_t k) {
    return k < 0 ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k);
}

NdArray eye(std::uint64_t n, std::optional<std::uint64_t> m_opt, std::int64_t k) {
    const std::uint64_t m = m_opt.value_or(n);
    NdArray out = zeros(Shape{n, m});
    std::uint64_t r = k < 0 ? magnitude(k) : 0;
    std::uint64_t c = k < 0 ? 0 : magnitude(k);
    for (; r < n && c < m; ++r, ++c) out.data[r * m + c] = 1.0;
    return out;
}

NdArray from_diag(const NdArray& v, std::int64_t k) {
    check_eq(v.ndim(), 1, "Input must be 1D");
    const std::uint64_t len = v.shape[0];
    const std::uint64_t off = magnitude(k);
    std::uint64_t n = 0;
    if (__builtin_add_overflow(len, off, &n)) fail("diag: offset " + std::to_string(k) + " is too large");
    NdArray out = zeros(Shape{n, n});
    const std::uint64_t row0 = k < 0 ? off : 0, col0 = k < 0 ? 0 : off;
    for (std::uint64_t i = 0; i < len; ++i) out.data[(i + row0) * n + i + col0] = v.data[i];
    return out;
}

NdArray column_stack(const std::vector<const NdArray*>& arrays) {
    if (arrays.empty()) panic("Need at least one array");
    struct Block {
        const double* data;
        std::uint64_t rows, cols;
    };
    std::vector<Block> blocks;
    blocks.reserve(arrays.size());
    for (const NdArray* a : arrays) {
        if (a->ndim() == 1)
            blocks.push_back({a->data.data(), a->shape[0], 1});
        else if (a->ndim() == 2)
            blocks.push_back({a->data.data(), a->shape[0], a->shape[1]});
        else
            panic("column_stack only supports 1D and 2D arrays");
    }
    const std::uint64_t rows = blocks.front().rows;
    std::uint64_t cols = 0;
    for (const auto& b : blocks) {
        check_eq(b.rows, rows, "All arrays must have the same number of rows");
        if (__builtin_add_overflow(cols, b.cols, &cols)) fail("column_stack: too many columns");
    }
    NdArray out = NdArray::uninit(Shape{rows, cols});
    double* dst = out.data.data();
    for (std::uint64_t r = 0; r < rows; ++r)
        for (const auto& b : blocks)
            for (std::uint64_t c = 0; c < b.cols; ++c) *dst++ = b.data[r * b.cols + c];
    return out;
}

}  // namespace tessaron
