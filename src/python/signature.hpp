// A binding's parameter list, declared once as its text signature:
//     using Clip = Signature<"clip($self, min, max)", "Array">;
// The compiler derives from it the attribute name ("clip"), the name in
// argument errors ("Array.clip()"), the docstring ("clip($self, min, max)
// \n--\n\n"), the NUL-terminated parameter names, how many are required
// (those without a default) and the slot count, as a constant.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace tessaron::py {

// A NUL-terminated constant string of N characters: a string literal (and
// so usable as a template argument), or the concatenation of `parts`.
template <std::size_t N>
struct Literal {
    char chars[N + 1]{};
    constexpr Literal(const char (&s)[N + 1]) {
        for (std::size_t i = 0; i <= N; ++i) chars[i] = s[i];
    }
    constexpr Literal(std::initializer_list<std::string_view> parts) {
        std::size_t k = 0;
        for (std::string_view part : parts)
            for (char ch : part) chars[k++] = ch;
    }
    constexpr std::string_view view() const { return {chars, N}; }
};
template <std::size_t L>
Literal(const char (&)[L]) -> Literal<L - 1>;

// A parameter's default as written in the signature: none (required),
// None, a number or a quoted string.
struct DefaultValue {
    enum class Kind : unsigned char { Required, None, Number, Text };
    Kind kind = Kind::Required;
    double number = 0.0;
    bool integral = false;  // written without '.' or exponent: also `integer`
    unsigned long long integer = 0;
    std::size_t text_start = 0, text_end = 0;  // the string's characters, without quotes
    constexpr bool is_literal() const { return kind == Kind::Number || kind == Kind::Text; }
};

// A parameter list as the parser reads it at run time.
struct ParamList {
    const char* error_name;     // "zeros()", "Array.diagonal()"
    const char* const* params;  // the names, in order
    std::size_t count, required;  // the first `required` parameters have no default
    std::size_t positional;       // the first `positional` may be passed by position
};

namespace signature_detail {

struct Layout {
    std::size_t open = 0;      // position of '('
    std::size_t count = 0;     // parameters, without $self
    std::size_t required = 0;  // leading parameters without a default
    std::size_t positional = 0;  // parameters before a `*` (all if there is none)
    std::array<std::size_t, 12> start{}, end{};  // each parameter name
    std::array<DefaultValue, 12> defaults{};
};

// 10^e as a double, exact for e <= 22.
constexpr double power_of_ten(int e) {
    double p = 1.0;
    for (int i = 0; i < e; ++i) p *= 10.0;
    return p;
}

// A default written as `None`, `True`, `False`, a number ("20", "1.0", "1e-10", "-3") or a
// quoted string. Numbers are read exactly: a mantissa of at most 2^53 and a
// power of ten of at most 10^22, whose product or quotient rounds once.
constexpr DefaultValue parse_default(std::string_view d, std::size_t i, std::size_t end) {
    while (i < end && d[i] == ' ') ++i;
    while (end > i && d[end - 1] == ' ') --end;
    DefaultValue v;
    const std::string_view t = d.substr(i, end - i);
    if (t.size() == 4 && t[0] == 'N' && t[1] == 'o' && t[2] == 'n' && t[3] == 'e') {
        v.kind = DefaultValue::Kind::None;
        return v;
    }
    if (t == "True" || t == "False") {  // flags, read as 1 and 0
        v.kind = DefaultValue::Kind::Number;
        v.integral = true;
        v.integer = t == "True";
        v.number = static_cast<double>(v.integer);
        return v;
    }
    if (t.size() >= 2 && (t[0] == '"' || t[0] == '\'') && t[t.size() - 1] == t[0]) {
        v.kind = DefaultValue::Kind::Text;
        v.text_start = i + 1;
        v.text_end = end - 1;
        // Lowercase ASCII, so that the text is its own lowered form.
        for (std::size_t k = v.text_start; k < v.text_end; ++k)
            if ((d[k] >= 'A' && d[k] <= 'Z') || static_cast<unsigned char>(d[k]) >= 0x80)
                throw "a string default must be lowercase ASCII";
        return v;
    }
    std::size_t k = 0;
    const bool negative = k < t.size() && t[k] == '-';
    if (negative) ++k;
    unsigned long long mantissa = 0;
    int exponent = 0, digits = 0;
    bool fraction = false, integral = true;
    for (; k < t.size() && t[k] != 'e' && t[k] != 'E'; ++k) {
        if (t[k] == '.' && !fraction) {
            fraction = true;
            integral = false;
            continue;
        }
        if (t[k] < '0' || t[k] > '9') throw "unsupported default";
        if (mantissa > (1ULL << 53) / 10) throw "default has too many digits";
        mantissa = mantissa * 10 + static_cast<unsigned long long>(t[k] - '0');
        ++digits;
        if (fraction) --exponent;
    }
    if (digits == 0) throw "unsupported default";
    if (k < t.size()) {  // the exponent
        integral = false;
        ++k;
        const bool minus = k < t.size() && t[k] == '-';
        if (k < t.size() && (t[k] == '-' || t[k] == '+')) ++k;
        int e = 0;
        if (k == t.size()) throw "unsupported default";
        for (; k < t.size(); ++k) {
            if (t[k] < '0' || t[k] > '9' || e > 100) throw "unsupported default";
            e = e * 10 + (t[k] - '0');
        }
        exponent += minus ? -e : e;
    }
    if (exponent > 22 || exponent < -22) throw "default out of the exact range";
    const double m = static_cast<double>(mantissa);
    const double x = exponent >= 0 ? m * power_of_ten(exponent) : m / power_of_ten(-exponent);
    v.kind = DefaultValue::Kind::Number;
    v.number = negative ? -x : x;
    v.integral = integral && !negative;
    v.integer = mantissa;
    return v;
}

// True when d[i, i + 5) is "$self". (Plain loops: GCC 12 cannot evaluate the
// library's find and compare in constant expressions under -fsanitize.)
constexpr bool is_self(std::string_view d, std::size_t i, std::size_t end) {
    constexpr char self[] = "$self";
    if (end - i != 5) return false;
    for (std::size_t j = 0; j < 5; ++j)
        if (d[i + j] != self[j]) return false;
    return true;
}

// A malformed text fails to compile (a throw in a constant expression).
// Parameters after a lone `*` are keyword-only, and must have defaults.
constexpr Layout layout(std::string_view d) {
    Layout out;
    bool keyword_only = false;
    while (out.open < d.size() && d[out.open] != '(') ++out.open;
    if (out.open == d.size() || d[d.size() - 1] != ')') throw "signature needs (...)";
    const std::size_t close = d.size() - 1;
    for (std::size_t i = out.open + 1; i < close;) {
        while (d[i] == ' ') ++i;
        std::size_t j = i;
        while (j < close && d[j] != ',' && d[j] != '=') ++j;
        const std::size_t name_end = j;
        if (name_end == i + 1 && d[i] == '*') {
            if (keyword_only) throw "two '*' markers";
            keyword_only = true;
            out.positional = out.count;
            i = j + 1;
            continue;
        }
        const bool has_default = j < close && d[j] == '=';
        if (keyword_only && !has_default) throw "a keyword-only parameter needs a default";
        while (j < close && d[j] != ',') ++j;  // past the default's text
        if (has_default && !is_self(d, i, name_end) && out.count < out.start.size())
            out.defaults[out.count] = parse_default(d, name_end + 1, j);
        if (!is_self(d, i, name_end)) {
            if (out.count == out.start.size()) throw "too many parameters";
            if (!has_default && out.required != out.count) throw "required after a default";
            out.required += has_default ? 0 : 1;
            out.start[out.count] = i;
            out.end[out.count++] = name_end;
        }
        i = j + 1;
    }
    if (!keyword_only) out.positional = out.count;
    return out;
}

}  // namespace signature_detail

template <Literal Decl, Literal Owner = "">
struct Signature {
private:
    static constexpr std::string_view decl = Decl.view(), owner = Owner.view();
    static constexpr signature_detail::Layout shape = signature_detail::layout(decl);
    static constexpr std::string_view bare = decl.substr(0, shape.open), dot = owner.empty() ? "" : ".";
    // The declaration with a NUL after the name and after each parameter name.
    static constexpr auto cut = [] {
        Literal<decl.size()> t{decl};
        t.chars[shape.open] = '\0';
        for (std::size_t i = 0; i < shape.count; ++i) t.chars[shape.end[i]] = '\0';
        return t;
    }();
    static constexpr Literal<owner.size() + dot.size() + bare.size() + 2> error_text{
        owner, dot, bare, "()"};
    static constexpr Literal<decl.size() + 5> doc_text{decl, "\n--\n\n"};

public:
    // The same parameter list, shown in errors without or with another owner.
    using base = Signature<Decl>;
    template <Literal Other>
    using owned_by = Signature<Decl, Other>;

    static constexpr std::size_t size = shape.count, required = shape.required;
    static constexpr const char* name = cut.chars;              // "clip"
    static constexpr const char* error_name = error_text.chars;  // "Array.clip()"
    static constexpr const char* doc = doc_text.chars;          // "clip($self, min, max)\n--\n\n"
    static constexpr std::array<const char*, size> params = [] {
        std::array<const char*, size> out{};
        for (std::size_t i = 0; i < size; ++i) out[i] = cut.chars + shape.start[i];
        return out;
    }();
    static constexpr std::size_t positional = shape.positional;
    static constexpr ParamList list{error_name, params.data(), size, required, positional};

    // Parameter I's default, and a string default's characters.
    template <std::size_t I>
    static constexpr DefaultValue default_of = shape.defaults[I];
    template <std::size_t I>
    static constexpr std::string_view default_text =
        decl.substr(shape.defaults[I].text_start, shape.defaults[I].text_end - shape.defaults[I].text_start);
};

}  // namespace tessaron::py
