// The built state of a tree as bytes, and back. The bytes end with a
// checksum of the rest, so that a truncated or altered payload is an Error;
// and reading checks everything it reads (sizes, ranges, the node
// structure), so that even a payload crafted with a matching checksum can
// never make queries run off the tree's arrays.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "array/error.hpp"
#include "spatial/checks.hpp"
#include "spatial/point_set.hpp"

namespace tessaron::spatial {

// FNV-1a over the bytes: not a defence against a deliberate forger, which
// the structural checks are, but it catches truncation and bit flips.
std::uint64_t checksum(std::span<const std::uint8_t> bytes);

class Writer {
public:
    void u64(std::uint64_t v) { put(&v, sizeof v); }
    template <class T>
    void vec(const std::vector<T>& v) {
        u64(v.size());
        put(v.data(), v.size() * sizeof(T));
    }
    // Written as 64-bit values whatever the width held in memory.
    void indices(const IndexArray& a) {
        u64(a.size());
        a.visit([&](const auto& v) {
            if constexpr (sizeof(v[0]) == 8)
                put(v.data(), v.size() * 8);
            else
                for (std::uint64_t x : v) u64(x);
        });
    }
    // The bytes, followed by their checksum.
    std::vector<std::uint8_t> take() && {
        u64(checksum(bytes_));
        return std::move(bytes_);
    }

private:
    void put(const void* p, std::size_t n);  // out of line: GCC 12 warns falsely on it inlined
    std::vector<std::uint8_t> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) {
        if (bytes.size() < 8) bad("the data ends early");
        bytes_ = bytes.first(bytes.size() - 8);
        std::uint64_t stored;
        std::memcpy(&stored, bytes.data() + bytes_.size(), 8);
        if (stored != checksum(bytes_)) bad("the checksum does not match");
    }
    std::uint64_t u64() {
        std::uint64_t v;
        get(&v, sizeof v);
        return v;
    }
    // Passes over a vector of exactly `count` elements.
    template <class T>
    void skip(std::uint64_t count) {
        if (u64() != count) bad("an array has the wrong length");
        if (count > (bytes_.size() - at_) / sizeof(T)) bad("the data ends early");
        at_ += count * sizeof(T);
    }
    // A vector of exactly `count` elements.
    template <class T>
    std::vector<T> vec(std::uint64_t count) {
        if (u64() != count) bad("an array has the wrong length");
        if (count > (bytes_.size() - at_) / sizeof(T)) bad("the data ends early");
        std::vector<T> v(count);
        get(v.data(), count * sizeof(T));
        return v;
    }
    bool at_end() const { return at_ == bytes_.size(); }
    void finish() const {
        if (at_ != bytes_.size()) bad("there are bytes after the end");
    }
    [[noreturn]] static void bad(const std::string& why) { fail("Invalid pickled tree state: " + why); }

private:
    void get(void* p, std::size_t n) {
        if (n > bytes_.size() - at_) bad("the data ends early");
        if (n) std::memcpy(p, bytes_.data() + at_, n);
        at_ += n;
    }
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// n * m, or an Error when it does not fit.
std::uint64_t checked_product(std::uint64_t n, std::uint64_t m);

// A tree's state: its magic word, points and ranges, then what more(w)
// writes, then the leaf size it was built with.
// How many of an internal node's `count` points a build puts in its left child.
using LeftCount = std::uint64_t (*)(std::uint64_t count);

// The point set and the node ranges, the part of the state the trees share.
// Reading checks that the ranges form the tree a build would shape.
void write_points(Writer& w, const PointSet& p, const NodeRanges& ranges);
void read_points(Reader& r, PointSet& p, NodeRanges& ranges, LeftCount left_count);
void check_tree(const std::vector<SlotRange>& ranges, std::uint64_t n, LeftCount left_count);

template <class More>
std::vector<std::uint8_t> write_state(std::uint64_t magic, const PointSet& p, const NodeRanges& ranges,
                                      std::uint64_t leaf_size, More&& more) {
    Writer w;
    w.u64(magic);
    write_points(w, p, ranges);
    more(w);
    w.u64(leaf_size);
    return std::move(w).take();
}

// The most points a leaf holds: the smallest leaf size a build of these
// ranges could have had (states written before the leaf size was kept).
std::uint64_t largest_leaf(const NodeRanges& ranges);

// Reads it back: the magic word of `kind`, points and ranges, then
// more(r, node count, dim), then the leaf size (where the state has it),
// then nothing else.
template <class More>
void read_state(std::span<const std::uint8_t> bytes, std::uint64_t magic, const char* kind, PointSet& p,
                NodeRanges& ranges, std::uint64_t& leaf_size, LeftCount left_count, More&& more) {
    Reader r(bytes);
    if (r.u64() != magic) Reader::bad(std::string("not a ") + kind);
    read_points(r, p, ranges, left_count);
    more(r, static_cast<std::uint64_t>(ranges.size()), p.dim);
    leaf_size = r.at_end() ? largest_leaf(ranges) : r.u64();
    r.finish();
}

}  // namespace tessaron::spatial
