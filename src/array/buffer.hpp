// Owned, contiguous storage of doubles. Unlike std::vector it can be created
// without initialising its elements (for results that are written in full)
// and zeroed lazily by the allocator (calloc), which matters for large zeros.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessaron {

// Storage for n values of `size` bytes each (n > 0), uninitialised or zeroed,
// released with std::free. Large blocks ask for transparent huge pages: one
// page fault per 2 MiB instead of per 4 KiB when fresh memory is written for
// the first time (uninitialised ones are aligned to 2 MiB for that; zeroed
// ones come from calloc, which zeroes fresh memory for free, and advise the
// aligned part of a block of 4 MiB or more). Throws std::bad_alloc.
inline void* allocate_storage(std::size_t n, std::size_t size, bool zero) {
    constexpr std::size_t huge = std::size_t{1} << 21;
    if (n > static_cast<std::size_t>(PTRDIFF_MAX) / size) throw std::bad_alloc();
    const std::size_t bytes = n * size;
    void* p = nullptr;
    std::size_t advised = 0;
    if (zero) {
        p = std::calloc(n, size);
    } else if (bytes >= huge) {
        advised = (bytes + huge - 1) & ~(huge - 1);
        p = std::aligned_alloc(huge, advised);
    }
    if (!p && !zero) p = std::malloc(bytes), advised = 0;
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (begin + huge - 1) & ~std::uintptr_t{huge - 1};
    if (zero && bytes >= 2 * huge && aligned < begin + bytes) advised = begin + bytes - aligned;
    if (advised) madvise(reinterpret_cast<void*>(aligned), advised, MADV_HUGEPAGE);  // a hint only
#else
    (void)advised;
#endif
    return p;
}

struct FreeStorage {
    void operator()(void* p) const { std::free(p); }
};

// Uninitialised scratch storage for n values of a trivial type, with the
// allocation above (no elements are constructed).
template <class T>
class ScratchArray {
public:
    explicit ScratchArray(std::size_t n) : ptr_(n ? static_cast<T*>(allocate_storage(n, sizeof(T), false)) : nullptr) {}
    T* data() const { return ptr_.get(); }

private:
    std::unique_ptr<T, FreeStorage> ptr_;
};

class Buffer {
public:
    Buffer() = default;
    // Elements are left uninitialised; the caller writes every one.
    static Buffer uninit(std::size_t n) { return Buffer(n, false); }
    static Buffer zeroed(std::size_t n) { return Buffer(n, true); }
    static Buffer filled(std::size_t n, double v) {
        if (v == 0.0 && !std::signbit(v)) return zeroed(n);
        Buffer b(n, false);
        std::fill_n(b.data(), n, v);
        return b;
    }
    static Buffer copy_of(const double* src, std::size_t n) {
        Buffer b(n, false);
        if (n) std::memcpy(b.data(), src, n * sizeof(double));
        return b;
    }

    Buffer(const Buffer& o) : Buffer(copy_of(o.data(), o.size())) {}
    Buffer& operator=(const Buffer& o) {
        if (this != &o) *this = copy_of(o.data(), o.size());
        return *this;
    }
    Buffer(Buffer&& o) noexcept : ptr_(std::move(o.ptr_)), n_(o.n_) { o.n_ = 0; }
    Buffer& operator=(Buffer&& o) noexcept {
        ptr_ = std::move(o.ptr_);
        n_ = o.n_;
        o.n_ = 0;
        return *this;
    }

    std::size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    double* data() { return ptr_.get(); }
    const double* data() const { return ptr_.get(); }
    double& operator[](std::size_t i) { return ptr_.get()[i]; }
    const double& operator[](std::size_t i) const { return ptr_.get()[i]; }
    double* begin() { return data(); }
    double* end() { return data() + n_; }
    const double* begin() const { return data(); }
    const double* end() const { return data() + n_; }

private:
    // n must not exceed PTRDIFF_MAX / sizeof(double): shapes are checked first.
    Buffer(std::size_t n, bool zero) : n_(n) {
        if (n == 0) return;
        ptr_.reset(static_cast<double*>(allocate_storage(n, sizeof(double), zero)));
    }
    std::unique_ptr<double, FreeStorage> ptr_;
    std::size_t n_ = 0;
};

}  // namespace tessaron
