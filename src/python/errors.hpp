// Turning failures into Python exceptions: core errors become ValueError,
// core assertions PanicException, exhausted memory MemoryError. Every binding
// runs its body through `guard`, the one place where this happens.
#pragma once

#include <new>
#include <string>

#include "array/error.hpp"
#include "python/ref.hpp"

namespace tessaron::py {

// The PanicException class (derived from BaseException), created on first use.
PyObject* panic_exception_type();

// Sets the Python error for the C++ exception being handled; call only
// inside a catch block.
void set_error_from_current_exception();

// Raises ValueError with the core's message.
void raise_value_error(const std::string& message);

// Guarantees that a failure returns with an exception set.
void ensure_error_set();

// Runs a binding body; C++ exceptions thrown by the core become Python
// exceptions. `fail` is the value that signals an error to CPython.
template <class R, class F>
R guard_as(R fail, F&& body) noexcept {
    try {
        R r = body();
        if (r == fail) ensure_error_set();
        return r;
    } catch (...) {
        set_error_from_current_exception();
        return fail;
    }
}

template <class F>
PyObject* guard(F&& body) noexcept {
    return guard_as<PyObject*>(nullptr, static_cast<F&&>(body));
}

// The pending exception (normalised), taken out of the error indicator.
Ref fetch_exception();
// Puts an exception object back as the pending one (steals it).
void restore_exception(Ref exc);
// "TypeName: message", as a cause is written inside enum conversion errors.
std::string describe_exception(PyObject* exc);
// The unqualified name of an object's type ("int", "Array").
std::string type_name(PyObject* obj);

}  // namespace tessaron::py
