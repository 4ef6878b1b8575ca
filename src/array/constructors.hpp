// Constructors of NdArray. Shapes must already have a checked element count.
#pragma once

#include <optional>

#include "array/ndarray.hpp"

namespace tessaron {

NdArray zeros(const Shape& shape);
NdArray ones(const Shape& shape);
NdArray full(const Shape& shape, double value);
NdArray eye(std::uint64_t n, std::optional<std::uint64_t> m, std::int64_t k);
NdArray from_diag(const NdArray& v, std::int64_t k);
// Borrowed arrays, one- or two-dimensional, stacked as columns.
NdArray column_stack(const std::vector<const NdArray*>& arrays);

}  // namespace tessaron
