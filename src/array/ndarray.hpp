// The one numeric container: a shape, its row-major strides and the data.
#pragma once

#include <optional>
#include <vector>

#include "array/buffer.hpp"
#include "array/shape.hpp"

namespace tessaron {

struct NdArray {
    Shape shape;
    Dims strides;  // always strides_row_major(shape)
    Buffer data;   // length == element count of shape

    // A zero-dimensional array holding 0.0.
    NdArray() : data(Buffer::zeroed(1)) {}

    // Checks that the data length matches the shape (internal assertion).
    static NdArray make(Shape shape, Buffer data);
    static NdArray make(Shape shape, const std::vector<double>& data);
    // Uninitialised storage for a result the caller fills completely. The
    // shape's element count must have been checked by the caller.
    static NdArray uninit(Shape shape);

    std::size_t ndim() const { return shape.ndim(); }
    std::size_t size() const { return data.size(); }

    // Pointer to an element, or nothing when the index list is out of range.
    std::optional<double*> get(const Dims& indices);
    std::optional<const double*> get(const Dims& indices) const;
    // 1-D array of the elements at the given flat positions.
    NdArray take(const std::vector<std::uint64_t>& flat) const;

private:
    NdArray(Shape sh, Dims st, Buffer d)
        : shape(std::move(sh)), strides(std::move(st)), data(std::move(d)) {}

public:
    template <class F>
    NdArray map(F f) const {
        NdArray out = uninit(shape);
        const double* src = data.data();
        double* dst = out.data.data();
        const std::size_t n = data.size();
        for (std::size_t i = 0; i < n; ++i) dst[i] = f(src[i]);
        return out;
    }
};

// Element count of a shape that is about to be allocated; throws Error (a
// ValueError for the user) when it does not fit, before anything is allocated.
std::size_t alloc_count(const Shape& shape);

}  // namespace tessaron
