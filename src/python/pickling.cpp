#include "python/pickling.hpp"

#include <string>

#include "python/errors.hpp"

namespace tessaron::py {

PyObject* rebuild_function(const char* name) {
    Ref module = Ref::steal(PyImport_ImportModule("tessaron"));
    return module ? PyObject_GetAttrString(module.get(), name) : nullptr;
}

bool bytes_of(PyObject* obj, const char* what, std::string_view& out) {
    if (!PyBytes_Check(obj)) {
        raise_value_error(std::string("Invalid pickled ") + what + " state: the data is not bytes");
        return false;
    }
    out = {PyBytes_AS_STRING(obj), static_cast<std::size_t>(PyBytes_GET_SIZE(obj))};
    return true;
}

PyObject* bytes_from(const void* data, std::size_t size) {
    return PyBytes_FromStringAndSize(static_cast<const char*>(data), static_cast<Py_ssize_t>(size));
}

}  // namespace tessaron::py
