#include "python/buffer_reals.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace tessaron::py {
namespace {

enum class Kind { Bool, Signed, Unsigned, Float, LongDouble };

struct Format {
    Kind kind;
    Py_ssize_t size;
    bool swap;  // stored in the other byte order than this machine's
};

std::optional<Format> format_of(const Py_buffer& view) {
    std::string_view f = view.format ? view.format : "B";
    char order = '@';
    if (!f.empty() && std::string_view("@=<>!").find(f[0]) != std::string_view::npos) {
        order = f[0];
        f.remove_prefix(1);
    }
    if (f.size() != 1) return std::nullopt;
    constexpr bool little = std::endian::native == std::endian::little;
    const bool swap = ((order == '>' || order == '!') && little) || (order == '<' && !little);
    const Py_ssize_t size = view.itemsize;
    const bool integer_size = size == 1 || size == 2 || size == 4 || size == 8;
    switch (f[0]) {
        case '?':
            if (size == 1) return Format{Kind::Bool, size, false};
            break;
        case 'b': case 'h': case 'i': case 'l': case 'q': case 'n':
            if (integer_size) return Format{Kind::Signed, size, swap};
            break;
        case 'B': case 'H': case 'I': case 'L': case 'Q': case 'N':
            if (integer_size) return Format{Kind::Unsigned, size, swap};
            break;
        case 'e': case 'f': case 'd':
            if (size == 2 || size == 4 || size == 8) return Format{Kind::Float, size, swap};
            break;
        case 'g':
            if (size == sizeof(long double) && !swap) return Format{Kind::LongDouble, size, false};
            break;
        default: break;
    }
    return std::nullopt;
}

inline std::uint16_t swapped(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t swapped(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t swapped(std::uint64_t v) { return __builtin_bswap64(v); }

template <class U>
U load(const char* p, bool swap) {
    U v;
    std::memcpy(&v, p, sizeof(U));
    return swap ? swapped(v) : v;
}

double half_to_double(std::uint16_t h) {
    const int exponent = (h >> 10) & 0x1f;
    const int mantissa = h & 0x3ff;
    double v;
    if (exponent == 0)
        v = std::ldexp(mantissa, -24);
    else if (exponent == 31)
        v = mantissa ? std::numeric_limits<double>::quiet_NaN() : HUGE_VAL;
    else
        v = std::ldexp(mantissa | 0x400, exponent - 25);
    return (h & 0x8000) ? -v : v;
}

double element(const char* p, const Format& f) {
    switch (f.kind) {
        case Kind::Bool: return *p ? 1.0 : 0.0;
        case Kind::LongDouble: {
            long double v;
            std::memcpy(&v, p, sizeof v);
            return static_cast<double>(v);
        }
        case Kind::Float:
            if (f.size == 2) return half_to_double(load<std::uint16_t>(p, f.swap));
            if (f.size == 4) return std::bit_cast<float>(load<std::uint32_t>(p, f.swap));
            return std::bit_cast<double>(load<std::uint64_t>(p, f.swap));
        case Kind::Signed:
            if (f.size == 1) return static_cast<std::int8_t>(*p);
            if (f.size == 2) return static_cast<std::int16_t>(load<std::uint16_t>(p, f.swap));
            if (f.size == 4) return static_cast<std::int32_t>(load<std::uint32_t>(p, f.swap));
            return static_cast<double>(static_cast<std::int64_t>(load<std::uint64_t>(p, f.swap)));
        case Kind::Unsigned:
            if (f.size == 1) return static_cast<unsigned char>(*p);
            if (f.size == 2) return load<std::uint16_t>(p, f.swap);
            if (f.size == 4) return load<std::uint32_t>(p, f.swap);
            return static_cast<double>(load<std::uint64_t>(p, f.swap));
    }
    return 0.0;
}

}  // namespace

bool holds_reals(const Py_buffer& view) { return format_of(view).has_value(); }

bool native_doubles(const Py_buffer& view) {
    const std::optional<Format> f = format_of(view);
    return f && f->kind == Kind::Float && f->size == 8 && !f->swap && PyBuffer_IsContiguous(&view, 'C');
}

void read_reals(const Py_buffer& view, double* out) {
    const Format f = *format_of(view);
    const int nd = view.ndim;
    Py_ssize_t count = 1;
    for (int i = 0; i < nd; ++i) count *= view.shape[i];
    if (count == 0) return;
    const char* base = static_cast<const char*>(view.buf);
    if (f.kind == Kind::Float && f.size == 8 && !f.swap && PyBuffer_IsContiguous(&view, 'C')) {
        std::memcpy(out, base, static_cast<std::size_t>(count) * sizeof(double));
        return;
    }
    // A row-major odometer over the shape; the innermost dimension in a loop.
    const Py_ssize_t inner = nd ? view.shape[nd - 1] : 1, step = nd ? view.strides[nd - 1] : 0;
    std::vector<Py_ssize_t> index(nd > 0 ? nd - 1 : 0, 0);
    for (Py_ssize_t done = 0; done < count; done += inner) {
        Py_ssize_t offset = 0;
        for (int i = 0; i + 1 < nd; ++i) offset += index[i] * view.strides[i];
        const char* p = base + offset;
        for (Py_ssize_t j = 0; j < inner; ++j) *out++ = element(p + j * step, f);
        for (int i = nd - 2; i >= 0; --i) {
            if (++index[i] < view.shape[i]) break;
            index[i] = 0;
        }
    }
}

}  // namespace tessaron::py
