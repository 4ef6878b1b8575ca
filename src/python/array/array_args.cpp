#include "python/array/array_args.hpp"

#include <string>

#include "python/errors.hpp"

namespace tessaron::py {

bool extract(PyObject* obj, ArrayArg& out) {
    if (!is_array(obj)) {
        if (!PyErr_Occurred())
            raise_type_error(cannot_cast(obj, "Array"));
        return false;
    }
    auto* a = reinterpret_cast<PyArray*>(obj);
    if (!out.loan.acquire(a->loan)) return false;
    out.obj = a;
    return true;
}

bool extract(PyObject* obj, ArrayList& out) {
    if (refuse_non_sequence(obj)) return false;
    Ref it = Ref::steal(PyObject_GetIter(obj));
    if (!it) return false;
    while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
        ArrayArg a;
        if (!extract(item.get(), a)) return false;
        out.arrays.push_back(&a.value());
        out.loans.push_back(std::move(a.loan));
        out.refs.push_back(std::move(item));
    }
    return !PyErr_Occurred();
}

// Both variants failed: "failed to extract enum E ('A | B')" and one line per
// variant naming its field and the underlying error.
static void raise_enum_error(const char* enum_name, const char* first, const char* second,
                             const std::string& first_cause, const std::string& second_cause) {
    std::string msg = std::string("failed to extract enum ") + enum_name + " ('" + first + " | " +
                      second + "')";
    for (int v = 0; v < 2; ++v) {
        const char* variant = v == 0 ? first : second;
        msg += std::string("\n- variant ") + variant + " (" + variant +
               "): TypeError: failed to extract field " + enum_name + "::" + variant +
               ".0, caused by " + (v == 0 ? first_cause : second_cause);
    }
    raise_type_error(msg);
}

static std::string not_an_array(PyObject* obj) {
    return "TypeError: " + cannot_cast(obj, "Array");
}

bool extract(PyObject* obj, VecOrArray& out) {
    if (is_array(obj)) return extract(obj, out.array);
    if (extract(obj, out.vec)) return true;
    Ref cause = fetch_exception();
    raise_enum_error("VecOrArray", "Array", "Vec", not_an_array(obj), describe_exception(cause.get()));
    return false;
}

bool extract(PyObject* obj, ArrayOrScalar& out) {
    if (is_array(obj)) return extract(obj, out.array);
    if (extract(obj, out.scalar)) return true;
    Ref cause = fetch_exception();
    raise_enum_error("ArrayOrScalar", "Array", "Scalar", not_an_array(obj),
                     describe_exception(cause.get()));
    return false;
}

}  // namespace tessaron::py
