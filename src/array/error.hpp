// Failure model of the core. Both kinds of failure are C++ exceptions that
// abandon the call; the binding layer's `guard` is the one place that
// catches them:
// - `Error` (thrown by `fail`): a well-typed but invalid input, such as a
//   shape too large to hold; raised in Python as ValueError.
// - `Panic` (thrown by `panic` and the `check_*` helpers): a broken
//   precondition of an operation; raised as PanicException.
// `Result` carries an Error as a value only where a caller recovers or
// rewords it (`checked_count`).
#pragma once

#include <cstdint>
#include <source_location>
#include <string>
#include <utility>
#include <variant>

namespace tessaron {

// A well-typed but invalid input; the message is shown to the user verbatim.
struct Error {
    std::string message;
};

[[noreturn]] void fail(std::string message);

// The caller's poll asked a long computation to stop (an interrupt): it
// abandons the call, and the caller's own report of why is already pending.
struct Interrupted {};

// Work that cannot be completed in the process that now runs it: a child
// forked (by a signal handler) while helper threads held part of a batch,
// threads the child does not have. Raised as RuntimeError.
struct Abandoned {
    std::string message;
};

// A failed internal assertion. Thrown, never returned: it abandons the call.
struct Panic {
    std::string message;
    std::string location;  // "file:line", for the diagnostic on stderr
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const T& value() const& { return std::get<0>(v_); }
    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

[[noreturn]] void panic(std::string message,
                        std::source_location loc = std::source_location::current());

// "assertion `left == right` failed: <msg>\n  left: <l>\n right: <r>"
[[noreturn]] void panic_not_equal(const std::string& message, const std::string& left,
                                  const std::string& right,
                                  std::source_location loc = std::source_location::current());

inline void check_eq(std::uint64_t left, std::uint64_t right, const char* message,
                     std::source_location loc = std::source_location::current()) {
    if (left != right) panic_not_equal(message, std::to_string(left), std::to_string(right), loc);
}

// Bounds check with the fixed "index out of bounds" text.
void panic_out_of_bounds(std::uint64_t len, std::uint64_t index,
                         std::source_location loc = std::source_location::current());
inline void check_index(std::uint64_t len, std::uint64_t index,
                        std::source_location loc = std::source_location::current()) {
    if (index >= len) panic_out_of_bounds(len, index, loc);
}

// Overflow-checked size arithmetic; false when the result does not fit.
inline bool mul_fits(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

}  // namespace tessaron
