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

struct FreeStorage {
    void operator()(void* p) const { std::free(p); }
};

// A transparent huge page, and an address or size rounded up to a multiple of one.
constexpr std::size_t kHugePage = std::size_t{1} << 21;
constexpr std::uintptr_t round_up_to_huge_page(std::uintptr_t x) { return (x + kHugePage - 1) & ~(kHugePage - 1); }

// Asks for transparent huge pages over the 2 MiB-aligned part of a large
// block (a hint): far fewer page faults when fresh memory is written once.
inline void advise_huge_pages(void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes < 2 * kHugePage) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = round_up_to_huge_page(begin);
    if (aligned < begin + bytes)
        madvise(reinterpret_cast<void*>(aligned), begin + bytes - aligned, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

// Where scratch blocks come from: a block of 2 MiB or more is mapped on its
// own (Linux), so that freeing it gives the memory back to the system at
// once; the allocator would keep some blocks for later, and a build's
// memory would stay high after it returns. Sanitizer builds use malloc,
// which the sanitizer watches.
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__)
#define TESSARON_MAPPED_SCRATCH 1
#endif

struct ScratchStorage {
    std::size_t mapped = 0;  // the mapping's length, or 0 for malloc's memory
    void operator()(void* p) const {
#ifdef TESSARON_MAPPED_SCRATCH
        if (mapped) {
            munmap(p, mapped);
            return;
        }
#endif
        std::free(p);
    }
};

// Uninitialised scratch storage for n values of a trivial type (no elements
// are constructed), freed with the owner. A mapped block is aligned to 2 MiB
// and marked for transparent huge pages: a build that writes it once takes
// one page fault per 2 MiB instead of per 4 KiB.
template <class T>
class ScratchArray {
public:
    explicit ScratchArray(std::size_t n) {
        if (n == 0) return;
        if (n > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T);
#ifdef TESSARON_MAPPED_SCRATCH
        constexpr std::size_t huge = kHugePage;
        if (bytes >= huge && bytes <= static_cast<std::size_t>(PTRDIFF_MAX) - 2 * huge) {
            const std::size_t rounded = round_up_to_huge_page(bytes);
            void* raw = mmap(nullptr, rounded + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (raw == MAP_FAILED) throw std::bad_alloc();
            // Keep the 2 MiB-aligned part, give back the rest.
            const auto begin = reinterpret_cast<std::uintptr_t>(raw);
            const std::uintptr_t aligned = round_up_to_huge_page(begin);
            if (aligned > begin) munmap(raw, aligned - begin);
            if (begin + huge > aligned) munmap(reinterpret_cast<void*>(aligned + rounded), begin + huge - aligned);
            madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);  // a hint only
            ptr_ = std::unique_ptr<T, ScratchStorage>(reinterpret_cast<T*>(aligned), ScratchStorage{rounded});
            return;
        }
#endif
        void* p = std::malloc(bytes);
        if (!p) throw std::bad_alloc();
        ptr_.reset(static_cast<T*>(p));
    }
    T* data() const { return ptr_.get(); }

    // Gives the storage past the first n values back to the system (a mapped
    // block only; one from malloc keeps its size). The first n stay as they are.
    void shrink_to(std::size_t n) {
#ifdef TESSARON_MAPPED_SCRATCH
        std::size_t& mapped = ptr_.get_deleter().mapped;
        constexpr std::size_t page = std::size_t{1} << 12;  // a multiple of the page size in use
        const std::size_t keep = (n * sizeof(T) + page - 1) & ~(page - 1);
        if (mapped == 0 || keep == 0 || keep >= mapped) return;
        munmap(reinterpret_cast<char*>(ptr_.get()) + keep, mapped - keep);
        mapped = keep;
#else
        (void)n;
#endif
    }

private:
    std::unique_ptr<T, ScratchStorage> ptr_;
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
        if (n > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(double)) throw std::bad_alloc();
        void* p = zero ? std::calloc(n, sizeof(double)) : std::malloc(n * sizeof(double));
        if (!p) throw std::bad_alloc();
        ptr_.reset(static_cast<double*>(p));
        advise_huge_pages(p, n * sizeof(double));  // many faults fewer when a fresh result is written
    }
    std::unique_ptr<double, FreeStorage> ptr_;
    std::size_t n_ = 0;
};

}  // namespace tessaron
