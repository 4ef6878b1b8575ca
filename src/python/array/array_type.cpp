// The `Array` type: its own slots (destruction, repr, len, shape), joined
// with the methods and slots that the other binding files contribute.
#include <vector>

#include "array/format.hpp"
#include "python/array/array_method.hpp"
#include "python/array/array_object.hpp"
#include "python/int_list.hpp"

namespace tessaron::py {
namespace {

PyObject* array_repr(PyObject* self) {
    return with_self(self, [](const NdArray& a) {
        const std::string text = tessaron::array_repr(a);
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

Py_ssize_t array_length(PyObject* self) {
    const std::size_t n = value_of<NdArray>(self).size();
    if (n > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "array length does not fit in a Py_ssize_t");
        return -1;
    }
    return static_cast<Py_ssize_t>(n);
}

PyObject* array_get_shape(PyObject* self, void*) {
    return with_self(self, [](const NdArray& a) { return int_list(a.shape.dims); });
}

PyGetSetDef array_getset[] = {
    {"shape", array_get_shape, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const PyType_Slot own_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<NdArray>)},
    {Py_tp_repr, reinterpret_cast<void*>(array_repr)},
    {Py_tp_str, reinterpret_cast<void*>(array_repr)},
    {Py_sq_length, reinterpret_cast<void*>(array_length)},
    {Py_mp_length, reinterpret_cast<void*>(array_length)},
    {Py_tp_getset, array_getset},
};

// The joined tables must outlive the type, so they live as long as the process.
std::vector<PyMethodDef> methods;
std::vector<PyType_Slot> slots;

vectorcallfunc construct = nullptr;

PyType_Spec array_spec() {
    for (ClassPart part : {construction_part(), conversion_part(), numpy_part(), pickle_part(),
                           iteration_part(),
                           operator_part(), math_part(), indexing_part(), matrix_part()}) {
        methods.insert(methods.end(), part.methods.begin(), part.methods.end());
        slots.insert(slots.end(), part.slots.begin(), part.slots.end());
        if (part.construct) construct = part.construct;
    }
    methods.push_back(kEndOfTable);
    slots.insert(slots.end(), std::begin(own_slots), std::end(own_slots));
    slots.push_back({Py_tp_methods, methods.data()});
    slots.push_back({0, nullptr});
    return {
        .name = "tessaron.Array",
        .basicsize = sizeof(PyArray),
        .itemsize = 0,
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
        .slots = slots.data(),
    };
}

}  // namespace

template <>
PyTypeObject* type_of<NdArray>() {
    static PyTypeObject* type = nullptr;
    static PyType_Spec spec = array_spec();
    return create_once(type, spec, construct);
}

}  // namespace tessaron::py
