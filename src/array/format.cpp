#include "array/format.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tessaron {

void append_float(std::string& out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
        return;
    }
    if (std::isinf(x)) {
        out += x < 0 ? "-inf" : "inf";
        return;
    }
    if (x == 0.0) {
        out += std::signbit(x) ? "-0.0" : "0.0";
        return;
    }
    // Shortest round-trip digits in scientific form, e.g. "-1.2345e+02".
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf - 1, x, std::chars_format::scientific);
    *res.ptr = '\0';
    const char* p = buf;
    if (*p == '-') {
        out += '-';
        ++p;
    }
    char digits[24];
    int n = 0;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    const int exp = std::atoi(p + 1);  // to_chars always writes the exponent

    const double mag = std::fabs(x);
    if (mag >= 1e-4 && mag < 1e16) {
        if (exp >= 0) {
            // Integer part: the first exp+1 digits, padded with zeros.
            for (int i = 0; i <= exp; ++i) out += i < n ? digits[i] : '0';
            out += '.';
            if (exp + 1 >= n)
                out += '0';
            else
                out.append(digits + exp + 1, n - exp - 1);
        } else {
            out += "0.";
            out.append(static_cast<std::size_t>(-exp - 1), '0');
            out.append(digits, n);
        }
        return;
    }
    out += digits[0];
    if (n > 1) {
        out += '.';
        out.append(digits + 1, n - 1);
    }
    out += 'e';
    out += std::to_string(exp);
}

std::string array_repr(const NdArray& a) {
    std::string s = "Array(shape=" + format_dims(a.shape.dims) + ", data=[";
    s.reserve(s.size() + a.size() * 8 + 2);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i) s += ", ";
        append_float(s, a.data[i]);
    }
    s += "])";
    return s;
}

}  // namespace tessaron
