#include "python/errors.hpp"

#include "python/docstrings.hpp"

namespace tessaron::py {

PyObject* panic_exception_type() {
    // Created once and kept for the life of the process.
    static PyObject* type = nullptr;
    if (!type)
        type = PyErr_NewExceptionWithDoc("tessaron.PanicException", with_prose("PanicException", nullptr),
                                         PyExc_BaseException, nullptr);
    return type;
}

static void raise_panic(const Panic& p) {
    PyObject* type = panic_exception_type();
    if (!type) return;
    PySys_FormatStderr("tessaron: internal assertion failed at %s:\n%s\n", p.location.c_str(),
                       p.message.c_str());
    Ref msg = Ref::steal(PyUnicode_FromStringAndSize(p.message.data(), p.message.size()));
    if (msg) PyErr_SetObject(type, msg.get());
}

void raise_value_error(const std::string& message) {
    Ref msg = Ref::steal(PyUnicode_FromStringAndSize(message.data(), message.size()));
    if (msg) PyErr_SetObject(PyExc_ValueError, msg.get());
}

void set_error_from_current_exception() {
    try {
        throw;
    } catch (const Interrupted&) {
        ensure_error_set();  // the poll left its exception (KeyboardInterrupt) pending
    } catch (const Abandoned& a) {
        PyErr_SetString(PyExc_RuntimeError, a.message.c_str());
    } catch (const Panic& p) {
        raise_panic(p);
    } catch (const Error& e) {
        raise_value_error(e.message);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_panic(Panic{e.what(), "<C++ exception>"});
    } catch (...) {
        raise_panic(Panic{"unknown C++ exception", "<C++ exception>"});
    }
}

void ensure_error_set() {
    if (!PyErr_Occurred())
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
}

Ref fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return Ref::steal(PyErr_GetRaisedException());
#else
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    if (!type) return Ref();
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    return Ref::steal(value);
#endif
}

void restore_exception(Ref exc) {
    if (!exc) return;
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc.release());
#else
    PyObject* value = exc.release();
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    Py_INCREF(type);
    PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

std::string type_name(PyObject* obj) {
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
    const char* s = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    if (!s) {
        PyErr_Clear();
        return Py_TYPE(obj)->tp_name;
    }
    return s;
}

std::string describe_exception(PyObject* exc) {
    std::string out = type_name(exc) + ": ";
    Ref text = Ref::steal(PyObject_Str(exc));
    const char* s = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (s)
        out += s;
    else
        PyErr_Clear();
    return out;
}

}  // namespace tessaron::py
