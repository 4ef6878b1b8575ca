#include "array/broadcast.hpp"

#include <algorithm>

namespace tessaron {

std::optional<Dims> broadcast_shape(const Dims& a, const Dims& b) {
    const std::size_t n = std::max(a.size(), b.size());
    Dims out(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Position i counted from the right end of each shape.
        const std::uint64_t da = i < a.size() ? a[a.size() - 1 - i] : 1;
        const std::uint64_t db = i < b.size() ? b[b.size() - 1 - i] : 1;
        std::uint64_t d;
        if (da == db || db == 1)
            d = da;
        else if (da == 1)
            d = db;
        else
            return std::nullopt;
        out[n - 1 - i] = d;
    }
    return out;
}

Dims broadcast_strides(const Dims& dims, std::size_t ndim) {
    Dims own = strides_row_major(Shape{dims});
    Dims out(ndim, 0);
    const std::size_t lead = ndim - dims.size();
    for (std::size_t j = 0; j < dims.size(); ++j) out[lead + j] = dims[j] == 1 ? 0 : own[j];
    return out;
}

BroadcastIter::BroadcastIter(Dims shape, Dims step_a, Dims step_b)
    : shape_(std::move(shape)),
      index_(shape_.size(), 0),
      step_a_(std::move(step_a)),
      step_b_(std::move(step_b)) {
    // A result with a zero-length dimension has no elements at all.
    done_ = std::find(shape_.begin(), shape_.end(), 0) != shape_.end();
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> BroadcastIter::next() {
    if (done_) return std::nullopt;
    const std::pair<std::uint64_t, std::uint64_t> current{off_a_, off_b_};
    // Odometer: the last index moves fastest; offsets follow incrementally.
    std::size_t i = shape_.size();
    for (;;) {
        if (i == 0) {
            done_ = true;
            break;
        }
        --i;
        if (++index_[i] < shape_[i]) {
            off_a_ += step_a_[i];
            off_b_ += step_b_[i];
            break;
        }
        off_a_ -= step_a_[i] * (shape_[i] - 1);
        off_b_ -= step_b_[i] * (shape_[i] - 1);
        index_[i] = 0;
    }
    return current;
}

BroadcastPlan plan_broadcast(const Dims& a, const Dims& b, const Dims& shape) {
    const Dims sa = broadcast_strides(a, shape.size()), sb = broadcast_strides(b, shape.size());
    // Drop length-1 dimensions and merge neighbours that are contiguous in
    // both operands; the result is still visited in row-major order.
    Dims len, step_a, step_b;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 1) continue;
        if (!len.empty() && step_a.back() == sa[i] * shape[i] && step_b.back() == sb[i] * shape[i]) {
            len.back() *= shape[i];
            step_a.back() = sa[i];
            step_b.back() = sb[i];
            continue;
        }
        len.push_back(shape[i]);
        step_a.push_back(sa[i]);
        step_b.push_back(sb[i]);
    }
    if (len.empty()) return {1, 0, 0, BroadcastIter({}, {}, {})};
    const std::uint64_t n = len.back(), ra = step_a.back(), rb = step_b.back();
    len.pop_back();
    step_a.pop_back();
    step_b.pop_back();
    return {n, ra, rb, BroadcastIter(std::move(len), std::move(step_a), std::move(step_b))};
}

}  // namespace tessaron
