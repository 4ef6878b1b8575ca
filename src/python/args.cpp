#include "python/args.hpp"

#include <algorithm>
#include <string>

#include "python/errors.hpp"

namespace tessaron::py {

// ---- argument list -------------------------------------------------------

void raise_type_error(const std::string& message) {
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

static std::string quoted_list(const std::vector<const char*>& names) {
    std::string s;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) s += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        s += '\'';
        s += names[i];
        s += '\'';
    }
    return s;
}

static bool too_many_positional(const ParamList& sig, Py_ssize_t given) {
    const std::size_t n = sig.positional;
    std::string msg = std::string(sig.error_name) + " takes ";
    msg += sig.required >= n ? std::to_string(n)
                             : "from " + std::to_string(sig.required) + " to " + std::to_string(n);
    msg += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") +
           " given";
    raise_type_error(msg);
    return false;
}

static bool check_missing(const ParamList& sig, PyObject** out) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i)
        if (!out[i]) missing.push_back(sig.params[i]);
    if (missing.empty()) return true;
    raise_type_error(std::string(sig.error_name) + " missing " + std::to_string(missing.size()) +
                     " required positional " + (missing.size() == 1 ? "argument" : "arguments") +
                     ": " + quoted_list(missing));
    return false;
}

// Places one keyword argument; false (with TypeError) if it fits no slot.
static bool place_keyword(const ParamList& sig, PyObject* key, PyObject* value, PyObject** out) {
    for (std::size_t i = 0; i < sig.count; ++i) {
        const char* name = sig.params[i];
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, name) == 0) {
            if (out[i]) {
                raise_type_error(std::string(sig.error_name) + " got multiple values for argument '" +
                                 name + "'");
                return false;
            }
            out[i] = value;
            return true;
        }
    }
    PyObject* text = PyObject_Str(key);
    const char* s = text ? PyUnicode_AsUTF8(text) : nullptr;
    if (s) raise_type_error(std::string(sig.error_name) + " got an unexpected keyword argument '" + s + "'");
    Py_XDECREF(text);
    return false;
}

bool parse_args(const ParamList& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject** out) {
    const std::size_t n = sig.count;
    for (std::size_t i = 0; i < n; ++i) out[i] = nullptr;
    if (static_cast<std::size_t>(nargs) > sig.positional) return too_many_positional(sig, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t j = 0; j < nkw; ++j)
            if (!place_keyword(sig, PyTuple_GET_ITEM(kwnames, j), args[nargs + j], out)) return false;
    }
    return check_missing(sig, out);
}

// ---- scalars -------------------------------------------------------------

bool extract(PyObject* obj, double& out) {
    if (PyFloat_CheckExact(obj)) {
        out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    out = PyFloat_AsDouble(obj);
    return !(out == -1.0 && PyErr_Occurred());
}

bool extract(PyObject* obj, std::uint64_t& out) {
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) return false;
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool extract(PyObject* obj, std::int64_t& out) {
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) return false;
    const long long v = PyLong_AsLongLong(index.get());
    if (v == -1 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

std::optional<double> as_scalar(PyObject* obj) {
    // Exact lists and tuples never convert: skip raising and clearing the error.
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) return std::nullopt;
    double v = 0.0;
    if (extract(obj, v)) return v;
    PyErr_Clear();
    return std::nullopt;
}

// ---- sequences -----------------------------------------------------------

// "'int' object cannot be cast as 'Sequence'" (built by appending: GCC 12
// warns falsely about operator+ chains here).
std::string cannot_cast(PyObject* obj, const char* target) {
    std::string msg = "'";
    msg += type_name(obj);
    msg += "' object cannot be cast as '";
    msg += target;
    msg += "'";
    return msg;
}

bool refuse_non_sequence(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        raise_type_error("Can't extract `str` to `Vec`");
        return true;
    }
    if (!PySequence_Check(obj)) {
        raise_type_error(cannot_cast(obj, "Sequence"));
        return true;
    }
    return false;
}

// Reads a sequence element by element through iteration, as any sequence
// may compute its items on the fly; its length only reserves storage.
template <class T>
static bool extract_by_iteration(PyObject* obj, std::vector<T>& out) {
    Py_ssize_t hint = PySequence_Size(obj);
    if (hint < 0) PyErr_Clear();
    out.clear();
    out.reserve(static_cast<std::size_t>(std::min<Py_ssize_t>(std::max<Py_ssize_t>(hint, 0), 1 << 20)));
    Ref it = Ref::steal(PyObject_GetIter(obj));
    if (!it) return false;
    while (Ref item = Ref::steal(PyIter_Next(it.get()))) {
        T value;
        if (!extract(item.get(), value)) return false;
        out.push_back(value);
    }
    return !PyErr_Occurred();
}

// Exact lists and tuples of exact floats and ints are read without running
// any Python code; anything else goes through iteration.
static bool extract_fast_floats(PyObject* obj, Buffer& out) {
    if (!PyList_CheckExact(obj) && !PyTuple_CheckExact(obj)) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(obj);
    PyObject** items = PySequence_Fast_ITEMS(obj);
    Buffer values = Buffer::uninit(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = items[i];
        if (PyFloat_CheckExact(item))
            values[i] = PyFloat_AS_DOUBLE(item);
        else if (PyLong_CheckExact(item)) {
            values[i] = PyLong_AsDouble(item);
            if (values[i] == -1.0 && PyErr_Occurred()) {
                PyErr_Clear();  // reported again, the same way, by the slow path
                return false;
            }
        } else {
            return false;
        }
    }
    out = std::move(values);
    return true;
}

bool extract(PyObject* obj, Buffer& out) {
    if (extract_fast_floats(obj, out)) return true;
    if (refuse_non_sequence(obj)) return false;
    std::vector<double> values;
    if (!extract_by_iteration(obj, values)) return false;
    out = Buffer::copy_of(values.data(), values.size());
    return true;
}

bool extract(PyObject* obj, Dims& out) {
    if (refuse_non_sequence(obj)) return false;
    return extract_by_iteration(obj, out);
}

bool extract(PyObject* obj, bool& out) {
    const int truth = PyObject_IsTrue(obj);
    out = truth == 1;
    return truth >= 0;
}

// ---- strings -------------------------------------------------------------

static bool utf8_of(PyObject* str, std::string& out) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(str, &size);
    if (!text) return false;
    out.assign(text, static_cast<std::size_t>(size));
    return true;
}

bool extract(PyObject* obj, Name& out) {
    if (!PyUnicode_Check(obj)) {
        std::string msg = "'";  // appended piecewise: see cannot_cast
        msg += type_name(obj);
        msg += "' object cannot be converted to 'PyString'";
        raise_type_error(msg);
        return false;
    }
    Ref lowered = Ref::steal(PyObject_CallMethod(obj, "lower", nullptr));
    return lowered && utf8_of(obj, out.given) && utf8_of(lowered.get(), out.lowered);
}

// ---- error prefix --------------------------------------------------------

void prefix_argument_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    Ref exc = fetch_exception();
    if (!exc || !Py_IS_TYPE(exc.get(), reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
        restore_exception(std::move(exc));
        return;
    }
    Ref text = Ref::steal(PyObject_Str(exc.get()));
    if (!text) return;
    Ref msg = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!msg) return;
    Ref wrapped = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, msg.get()));
    if (!wrapped) return;
    PyException_SetCause(wrapped.get(), PyException_GetCause(exc.get()));
    restore_exception(std::move(wrapped));
}

}  // namespace tessaron::py
