#include "python/array/array_args.hpp"

#include <string>

#include "python/buffer_reals.hpp"
#include "python/errors.hpp"

namespace tessaron::py {

BufferRead read_buffer_array(PyObject* obj, std::optional<NdArray>& out, int min_ndim, bool sequences) {
    if (!may_export_numbers(obj)) return BufferRead::NotABuffer;
    HeldBuffer view;
    if (!view.acquire(obj)) {
        PyErr_Clear();
        return BufferRead::NotABuffer;
    }
    if (view->ndim < min_ndim) return BufferRead::NotABuffer;
    if (!holds_reals(*view)) {
        const std::string format = view->format ? view->format : "B";
        if (sequences && format == "O") return BufferRead::NotABuffer;  // Python objects: a sequence
        raise_type_error("an Array or a buffer of real numbers is needed, not buffer format '" + format + "'");
        return BufferRead::Failed;
    }
    Shape shape{Dims(view->shape, view->shape + view->ndim)};
    if (!checked_count(shape)) {
        PyErr_NoMemory();  // a broadcast view larger than memory
        return BufferRead::Failed;
    }
    NdArray a = NdArray::uninit(std::move(shape));
    read_reals(*view, a.data.data());
    out = std::move(a);
    return BufferRead::Read;
}

bool extract(PyObject* obj, ArrayArg& out) {
    if (!is_array(obj)) {
        if (PyErr_Occurred()) return false;
        switch (read_buffer_array(obj, out.converted, 0, false)) {
            case BufferRead::Read: return true;
            case BufferRead::Failed: return false;
            case BufferRead::NotABuffer: break;
        }
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
        if (a.converted) {
            out.arrays.push_back(&out.converted.emplace_back(std::move(*a.converted)));
        } else {
            out.arrays.push_back(&a.value());
            out.loans.push_back(std::move(a.loan));
        }
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
    switch (read_buffer_array(obj, out.array.converted, 0, true)) {
        case BufferRead::Read: return true;
        case BufferRead::Failed: return false;
        case BufferRead::NotABuffer: break;
    }
    if (extract(obj, out.vec)) return true;
    Ref cause = fetch_exception();
    raise_enum_error("VecOrArray", "Array", "Vec", not_an_array(obj), describe_exception(cause.get()));
    return false;
}

bool extract(PyObject* obj, ArrayOrScalar& out) {
    if (is_array(obj)) return extract(obj, out.array);
    // A buffer of no dimension (a NumPy scalar, say) stays a number.
    switch (read_buffer_array(obj, out.array.converted, 1, false)) {
        case BufferRead::Read: return true;
        case BufferRead::Failed: return false;
        case BufferRead::NotABuffer: break;
    }
    if (extract(obj, out.scalar)) return true;
    Ref cause = fetch_exception();
    raise_enum_error("ArrayOrScalar", "Array", "Scalar", not_an_array(obj),
                     describe_exception(cause.get()));
    return false;
}

}  // namespace tessaron::py
