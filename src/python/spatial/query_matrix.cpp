#include "python/spatial/query_matrix.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "python/args.hpp"
#include "python/array/array_args.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

void raise_dimension_mismatch(const char* what, std::uint64_t got, std::uint64_t dim) {
    raise_value_error(std::string(what) + " " + std::to_string(got) + " doesn't match tree dimension " +
                      std::to_string(dim));
}

namespace {

constexpr const char* kNot2D = "queries must be a 2D array";

bool check_shape(std::uint64_t width, std::uint64_t dim) {
    if (width == dim) return true;
    raise_dimension_mismatch("Query dimension", width, dim);
    return false;
}

// Storage for rows x dim values; MemoryError when it could not be addressed.
bool allocate(QueryMatrix& out, std::uint64_t rows, std::uint64_t dim) {
    if (dim != 0 && rows > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(double) / dim) {
        PyErr_NoMemory();
        return false;
    }
    out.values = Buffer::uninit(rows * dim);
    out.rows = rows;
    return true;
}

// ---- buffers ---------------------------------------------------------------

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

// One element of a buffer as a double.
enum class Kind { Bool, Signed, Unsigned, Float, LongDouble };

inline std::uint16_t swapped(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t swapped(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t swapped(std::uint64_t v) { return __builtin_bswap64(v); }

template <class U>
U load(const char* p, bool swap) {
    U v;
    std::memcpy(&v, p, sizeof(U));
    return swap ? swapped(v) : v;
}

double element(const char* p, Kind kind, Py_ssize_t size, bool swap) {
    switch (kind) {
        case Kind::Bool: return *p ? 1.0 : 0.0;
        case Kind::LongDouble: {
            long double v;
            std::memcpy(&v, p, sizeof v);
            return static_cast<double>(v);
        }
        case Kind::Float:
            if (size == 2) return half_to_double(load<std::uint16_t>(p, swap));
            if (size == 4) return std::bit_cast<float>(load<std::uint32_t>(p, swap));
            return std::bit_cast<double>(load<std::uint64_t>(p, swap));
        case Kind::Signed:
            if (size == 1) return static_cast<std::int8_t>(*p);
            if (size == 2) return static_cast<std::int16_t>(load<std::uint16_t>(p, swap));
            if (size == 4) return static_cast<std::int32_t>(load<std::uint32_t>(p, swap));
            return static_cast<double>(static_cast<std::int64_t>(load<std::uint64_t>(p, swap)));
        case Kind::Unsigned:
            if (size == 1) return static_cast<unsigned char>(*p);
            if (size == 2) return load<std::uint16_t>(p, swap);
            if (size == 4) return load<std::uint32_t>(p, swap);
            return static_cast<double>(load<std::uint64_t>(p, swap));
    }
    return 0.0;
}

// The element kind of a struct-module format of one real number, or nothing.
std::optional<Kind> kind_of(const char* format, Py_ssize_t size, bool& swap) {
    std::string_view f = format ? format : "B";
    char order = '@';
    if (!f.empty() && std::string_view("@=<>!").find(f[0]) != std::string_view::npos) {
        order = f[0];
        f.remove_prefix(1);
    }
    if (f.size() != 1) return std::nullopt;
    const bool big = order == '>' || order == '!';
    const bool little = order == '<';
    swap = (big && std::endian::native == std::endian::little) || (little && std::endian::native == std::endian::big);
    const bool integer_size = size == 1 || size == 2 || size == 4 || size == 8;
    switch (f[0]) {
        case '?': return size == 1 ? std::optional(Kind::Bool) : std::nullopt;
        case 'b': case 'h': case 'i': case 'l': case 'q': case 'n':
            return integer_size ? std::optional(Kind::Signed) : std::nullopt;
        case 'B': case 'H': case 'I': case 'L': case 'Q': case 'N':
            return integer_size ? std::optional(Kind::Unsigned) : std::nullopt;
        case 'e': case 'f': case 'd':
            return size == 2 || size == 4 || size == 8 ? std::optional(Kind::Float) : std::nullopt;
        case 'g':
            return size == sizeof(long double) && !swap ? std::optional(Kind::LongDouble) : std::nullopt;
        default: return std::nullopt;
    }
}

class BufferView {
public:
    explicit BufferView(PyObject* obj) { ok_ = PyObject_GetBuffer(obj, &view_, PyBUF_RECORDS_RO) == 0; }
    ~BufferView() {
        if (ok_) PyBuffer_Release(&view_);
    }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    bool ok() const { return ok_; }
    const Py_buffer& operator*() const { return view_; }

private:
    Py_buffer view_{};
    bool ok_ = false;
};

// 0: read; 1: failed (exception set); 2: not a buffer of numbers (try the
// sequence reading).
int from_buffer(PyObject* obj, std::uint64_t dim, QueryMatrix& out) {
    if (!PyObject_CheckBuffer(obj)) return 2;
    BufferView view(obj);
    if (!view.ok()) {
        PyErr_Clear();
        return 2;
    }
    const Py_buffer& b = *view;
    if (b.format && std::string_view(b.format).find('O') != std::string_view::npos) return 2;  // objects
    bool swap = false;
    const std::optional<Kind> kind = kind_of(b.format, b.itemsize, swap);
    if (!kind) {
        raise_type_error(std::string("queries must hold real numbers, not buffer format '") +
                         (b.format ? b.format : "B") + "'");
        return 1;
    }
    if (b.ndim != 2) {
        raise_value_error(kNot2D);
        return 1;
    }
    const auto rows = static_cast<std::uint64_t>(b.shape[0]), width = static_cast<std::uint64_t>(b.shape[1]);
    if (!check_shape(width, dim) || !allocate(out, rows, dim)) return 1;
    const char* base = static_cast<const char*>(b.buf);
    double* dst = out.values.data();
    for (std::uint64_t i = 0; i < rows; ++i) {
        const char* row = base + static_cast<Py_ssize_t>(i) * b.strides[0];
        if (*kind == Kind::Float && b.itemsize == 8 && !swap && b.strides[1] == 8) {
            if (dim) std::memcpy(dst, row, dim * sizeof(double));
            dst += dim;
            continue;
        }
        for (std::uint64_t j = 0; j < dim; ++j)
            *dst++ = element(row + static_cast<Py_ssize_t>(j) * b.strides[1], *kind, b.itemsize, swap);
    }
    return 0;
}

// ---- sequences -------------------------------------------------------------

bool from_sequence(PyObject* obj, std::uint64_t dim, QueryMatrix& out) {
    if (refuse_non_sequence(obj)) return false;
    Ref seq = Ref::steal(PySequence_Fast(obj, "queries must be a sequence"));
    if (!seq) return false;
    std::vector<double> values;
    std::uint64_t rows = 0;
    // The size is read again each time: a conversion hook may change a list.
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i, ++rows) {
        Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(seq.get(), i));
        if (PyNumber_Check(item.get()) && !PySequence_Check(item.get())) {
            raise_value_error(kNot2D);
            return false;
        }
        Buffer row;
        if (!extract(item.get(), row)) return false;
        if (!check_shape(row.size(), dim)) return false;
        values.insert(values.end(), row.data(), row.data() + row.size());
    }
    if (!allocate(out, rows, dim)) return false;
    if (!values.empty()) std::memcpy(out.values.data(), values.data(), values.size() * sizeof(double));
    return true;
}

}  // namespace

bool query_matrix(PyObject* obj, std::uint64_t dim, QueryMatrix& out) {
    if (is_array(obj)) {
        ArrayArg a;
        if (!extract(obj, a)) return false;
        const NdArray& q = a.value();
        if (q.ndim() != 2) {
            raise_value_error(kNot2D);
            return false;
        }
        if (!check_shape(q.shape[1], dim) || !allocate(out, q.shape[0], dim)) return false;
        if (q.size()) std::memcpy(out.values.data(), q.data.data(), q.size() * sizeof(double));
        return true;
    }
    const int read = from_buffer(obj, dim, out);
    if (read != 2) return read == 0;
    return from_sequence(obj, dim, out);
}

}  // namespace tessaron::py
