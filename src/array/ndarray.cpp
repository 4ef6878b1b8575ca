#include "array/ndarray.hpp"

namespace tessaron {

std::size_t alloc_count(const Shape& shape) {
    auto n = checked_count(shape);
    if (!n) fail(n.error().message);
    return static_cast<std::size_t>(n.value());
}

NdArray NdArray::make(Shape shape, Buffer data) {
    const std::uint64_t count = shape.wrapping_count();
    if (count != data.size())
        panic_not_equal("Storage length " + std::to_string(data.size()) +
                            " doesn't match shape size " + std::to_string(count),
                        std::to_string(count), std::to_string(data.size()));
    Dims strides = strides_row_major(shape);
    return NdArray(std::move(shape), std::move(strides), std::move(data));
}

NdArray NdArray::make(Shape shape, const std::vector<double>& data) {
    return make(std::move(shape), Buffer::copy_of(data.data(), data.size()));
}

NdArray NdArray::uninit(Shape shape) {
    const std::size_t n = alloc_count(shape);
    return make(std::move(shape), Buffer::uninit(n));
}

template <class Self>
static auto locate(Self& self, const Dims& indices) -> decltype(std::optional(self.data.data())) {
    if (indices.size() != self.ndim()) return std::nullopt;
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= self.shape.dims[i]) return std::nullopt;
        offset += indices[i] * self.strides[i];
    }
    if (offset >= self.data.size()) return std::nullopt;
    return self.data.data() + offset;
}

std::optional<double*> NdArray::get(const Dims& indices) { return locate(*this, indices); }
std::optional<const double*> NdArray::get(const Dims& indices) const {
    return locate(*this, indices);
}

NdArray NdArray::take(const std::vector<std::uint64_t>& flat) const {
    NdArray out = uninit(d1(flat.size()));
    for (std::size_t i = 0; i < flat.size(); ++i) {
        check_index(data.size(), flat[i]);
        out.data[i] = data[flat[i]];
    }
    return out;
}

}  // namespace tessaron
