// Argument parsing for every binding: one parser for the fast-call-with-
// keywords convention, and one converter per argument kind. Converters set
// CPython's own exception; `arg` adds the "argument '<name>': " prefix.
#pragma once

#include <cstdint>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "array/buffer.hpp"
#include "array/shape.hpp"
#include "python/ref.hpp"
#include "python/signature.hpp"

namespace tessaron::py {

// Matches positional and keyword arguments to the parameters. Afterwards
// out[i] is the (borrowed) argument for parameter i, or nullptr if omitted.
bool parse_args(const ParamList& sig, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames, PyObject** out);

// A string option: as given, and lowercased by Python's full Unicode rules.
struct Name {
    std::string given, lowered;
};

bool extract(PyObject* obj, double& out);
bool extract(PyObject* obj, std::uint64_t& out);  // a size
bool extract(PyObject* obj, std::int64_t& out);
bool extract(PyObject* obj, Buffer& out);          // a list of floats
bool extract(PyObject* obj, Dims& out);            // a shape, or a list of sizes
bool extract(PyObject* obj, Name& out);
bool extract(PyObject* obj, bool& out);            // a flag: the object's truth

template <class T>
bool extract(PyObject* obj, std::optional<T>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    out.emplace();
    return extract(obj, *out);
}

// Argument-error helpers for the converters of other argument kinds.
void raise_type_error(const std::string& message);
// "'int' object cannot be cast as 'Sequence'".
std::string cannot_cast(PyObject* obj, const char* target);
// Raises TypeError (and returns true) unless obj is a non-string sequence.
bool refuse_non_sequence(PyObject* obj);

// A float from any object the float conversion accepts, or nothing, with
// the conversion error discarded (the caller tries another reading).
std::optional<double> as_scalar(PyObject* obj);

// Re-raises a pending TypeError as "argument '<name>': <message>", keeping
// its cause; other exceptions pass unchanged.
void prefix_argument_error(const char* name);

// Converts one parsed argument; an omitted (nullptr) argument leaves `out`
// as it is, which for optional parameters means absent.
template <class T>
bool arg(PyObject* obj, const char* name, T& out) {
    if (!obj) return true;
    if (extract(obj, out)) return true;
    prefix_argument_error(name);
    return false;
}

// The arguments of one call, matched to the parameters of Base: slots[i] is
// the (borrowed) argument for parameter i, or nullptr if it was omitted.
template <class Base>
struct Slots {
    std::array<PyObject*, Base::size> slots{};
};
// One type for a parameter list under any owner, so one body serves all.
template <class Sig>
using Args = Slots<typename Sig::base>;

// A parameter with a literal default that also takes None for it; reads as T.
template <class T>
struct DefaultIfNone {
    T value{};
};
template <class T>
constexpr bool is_default_if_none = false;
template <class T>
constexpr bool is_default_if_none<DefaultIfNone<T>> = true;

template <class T>
bool extract(PyObject* obj, DefaultIfNone<T>& out) {
    return obj == Py_None || extract(obj, out.value);
}

// Sets `out` to parameter I's literal default (a number or a string).
template <class Base, std::size_t I, class T>
void set_default(T& out) {
    constexpr DefaultValue d = Base::template default_of<I>;
    if constexpr (is_default_if_none<T>) {
        set_default<Base, I>(out.value);
    } else if constexpr (std::is_same_v<T, double>) {
        static_assert(d.kind == DefaultValue::Kind::Number);
        out = d.number;
    } else if constexpr (std::is_integral_v<T>) {
        static_assert(d.kind == DefaultValue::Kind::Number && d.integral);
        out = static_cast<T>(d.integer);
    } else {
        static_assert(std::is_same_v<T, Name> && d.kind == DefaultValue::Kind::Text);
        constexpr std::string_view text = Base::template default_text<I>;
        out.given.assign(text);
        out.lowered.assign(text);
    }
}

// Converts argument I into `out`, reporting failures under its name. An
// omitted argument whose parameter has a literal default gets that default.
template <std::size_t I, class Base, class T>
bool arg(const Slots<Base>& in, T& out) {
    static_assert(I < Base::size, "no such parameter");
    if constexpr (Base::template default_of<I>.is_literal()) {
        if (!in.slots[I]) {
            set_default<Base, I>(out);
            return true;
        }
        if constexpr (is_default_if_none<T>) set_default<Base, I>(out);  // for None
    }
    return arg(in.slots[I], Base::params[I], out);
}

template <class Sig>
std::optional<Args<Sig>> parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Args<Sig> in;
    if (!parse_args(Sig::list, args, nargs, kwnames, in.slots.data())) return std::nullopt;
    return in;
}

}  // namespace tessaron::py
