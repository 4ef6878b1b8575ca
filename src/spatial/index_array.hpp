// Indices a tree keeps (input rows, slot ranges, node links, split
// dimensions) in 32 bits each when every value the tree can hold fits
// there, and in 64 bits otherwise; the width is fixed when the array is
// made. Reads widen to 64 bits, so only the code that fills an array in bulk
// (the builds) sees the width.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "array/error.hpp"

namespace tessaron::spatial {

// The largest value held in 32 bits. The sanitizer build lowers it, so that
// its test run takes the 64-bit path for every tree of more than a few
// thousand points.
#ifdef TESSARON_NARROW_INDEX_MAX
constexpr std::uint64_t kNarrowIndexMax = TESSARON_NARROW_INDEX_MAX;
#else
constexpr std::uint64_t kNarrowIndexMax = std::numeric_limits<std::uint32_t>::max();
#endif
static_assert(kNarrowIndexMax <= std::numeric_limits<std::uint32_t>::max());

class IndexArray {
public:
    // An empty array for values up to `largest`.
    explicit IndexArray(std::uint64_t largest = 0) : wide_(largest > kNarrowIndexMax) {}

    bool wide() const { return wide_; }
    std::uint64_t size() const { return wide_ ? w64_.size() : w32_.size(); }
    std::uint64_t operator[](std::uint64_t i) const { return wide_ ? w64_[i] : w32_[i]; }

    void set(std::uint64_t i, std::uint64_t v) {
        if (wide_)
            w64_[i] = v;
        else
            w32_[i] = narrow(v);
    }
    void push_back(std::uint64_t v) {
        if (wide_)
            w64_.push_back(v);
        else
            w32_.push_back(narrow(v));
    }
    void resize(std::uint64_t n) { wide_ ? w64_.resize(n) : w32_.resize(n); }
    void reserve(std::uint64_t n) { wide_ ? w64_.reserve(n) : w32_.reserve(n); }

    // The storage at its width: f(std::vector<std::uint32_t>&) or
    // f(std::vector<std::uint64_t>&).
    template <class F>
    decltype(auto) visit(F&& f) {
        return wide_ ? f(w64_) : f(w32_);
    }
    template <class F>
    decltype(auto) visit(F&& f) const {
        return wide_ ? f(w64_) : f(w32_);
    }

private:
    static std::uint32_t narrow(std::uint64_t v) {
        // The width was chosen for the largest value, so this never fails.
        if (v > kNarrowIndexMax) panic("an index does not fit its array");
        return static_cast<std::uint32_t>(v);
    }

    std::vector<std::uint32_t> w32_;
    std::vector<std::uint64_t> w64_;
    bool wide_;
};

}  // namespace tessaron::spatial
