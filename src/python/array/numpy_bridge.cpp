// Exchange with NumPy: to_numpy and from_numpy. NumPy is imported lazily,
// on the first exchange, and its C interface table (the "_ARRAY_API"
// capsule) is read once. Element access goes through the buffer protocol.
#include <cstring>

#include "python/array/array_method.hpp"

namespace tessaron::py {
namespace {

// The slots of NumPy's C interface table that are used here; their
// positions are part of NumPy's stable ABI.
constexpr int kArrayTypeSlot = 2;
constexpr int kDescrFromTypeSlot = 45;
constexpr int kNewFromDescrSlot = 94;
constexpr int kNpyDouble = 12;

void** numpy_api = nullptr;

using DescrFromType = PyObject* (*)(int);
using NewFromDescr = PyObject* (*)(PyTypeObject*, PyObject*, int, const Py_ssize_t*,
                                    const Py_ssize_t*, void*, int, PyObject*);

// NumPy 2 moved the multiarray module to numpy._core (1.26 has a copy there
// too); older releases have it only under numpy.core.
Ref import_multiarray() {
    Ref module = Ref::steal(PyImport_ImportModule("numpy._core.multiarray"));
    if (module || !PyErr_ExceptionMatches(PyExc_ImportError)) return module;
    PyErr_Clear();
    return Ref::steal(PyImport_ImportModule("numpy.core.multiarray"));
}

bool load_numpy_api() {
    if (numpy_api) return true;
    Ref multiarray = import_multiarray();
    Ref capsule = multiarray ? Ref::steal(PyObject_GetAttrString(multiarray.get(), "_ARRAY_API"))
                             : Ref();
    void* table = capsule ? PyCapsule_GetPointer(capsule.get(), nullptr) : nullptr;
    if (!table) {
        Ref cause = fetch_exception();
        const std::string why = cause ? describe_exception(cause.get()) : "no table in the capsule";
        panic("Failed to access NumPy array API capsule: " + why);
    }
    numpy_api = static_cast<void**>(table);
    return true;
}

PyTypeObject* numpy_array_type() { return static_cast<PyTypeObject*>(numpy_api[kArrayTypeSlot]); }

// A view of a float64 NumPy array's memory, released on destruction.
class BufferView {
public:
    ~BufferView() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool acquire(PyObject* obj, int flags) {
        if (PyObject_GetBuffer(obj, &view_, flags) < 0) return false;
        held_ = true;
        return true;
    }
    Py_buffer& operator*() { return view_; }
    Py_buffer* operator->() { return &view_; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

bool is_native_float64(const char* format) {
    if (!format) return false;
    if (format[0] == '=' || format[0] == '@') ++format;
#if PY_LITTLE_ENDIAN
    if (format[0] == '<') ++format;
#else
    if (format[0] == '>') ++format;
#endif
    return std::strcmp(format, "d") == 0;
}

PyObject* to_numpy(const NdArray& a) {
    if (!load_numpy_api()) return nullptr;
    auto descr_from_type = reinterpret_cast<DescrFromType>(numpy_api[kDescrFromTypeSlot]);
    auto new_from_descr = reinterpret_cast<NewFromDescr>(numpy_api[kNewFromDescrSlot]);
    std::vector<Py_ssize_t> dims(a.shape.dims.begin(), a.shape.dims.end());
    PyObject* descr = descr_from_type(kNpyDouble);  // stolen by new_from_descr
    if (!descr) return nullptr;
    // NumPy allocates and owns the (C-ordered, writable) buffer; we fill it.
    Ref out = Ref::steal(new_from_descr(numpy_array_type(), descr, static_cast<int>(dims.size()),
                                        dims.data(), nullptr, nullptr, 0, nullptr));
    if (!out) return nullptr;
    if (a.size()) {
        BufferView view;
        if (!view.acquire(out.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return nullptr;
        std::memcpy(view->buf, a.data.data(), a.size() * sizeof(double));
    }
    return out.release();
}

// Copies a Fortran-ordered block into row-major order.
void copy_fortran_to_c(const double* src, double* dst, const Dims& dims, std::size_t total) {
    const std::size_t nd = dims.size();
    std::vector<std::uint64_t> idx(nd, 0), fstride(nd, 1);
    for (std::size_t i = 1; i < nd; ++i) fstride[i] = fstride[i - 1] * dims[i - 1];
    for (std::uint64_t k = 0; k < total; ++k) {
        std::uint64_t f = 0;
        for (std::size_t i = 0; i < nd; ++i) f += idx[i] * fstride[i];
        dst[k] = src[f];
        for (std::size_t i = nd; i-- > 0;) {  // row-major odometer
            if (++idx[i] < dims[i]) break;
            idx[i] = 0;
        }
    }
}

using FromNumpy = Signature<"from_numpy(arr)", "Array">;

PyObject* from_numpy(PyObject* arr) {
    if (!load_numpy_api()) return nullptr;
    BufferView view;
    const bool numpy_float64 = PyObject_TypeCheck(arr, numpy_array_type()) &&
                               view.acquire(arr, PyBUF_RECORDS_RO) &&
                               is_native_float64(view->format);
    if (!numpy_float64) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be cast as 'ndarray'",
                     type_name(arr).c_str());
        prefix_argument_error(FromNumpy::params[0]);
        return nullptr;
    }
    Dims dims(view->shape, view->shape + view->ndim);
    const bool c_order = PyBuffer_IsContiguous(&*view, 'C');
    if (!c_order && !PyBuffer_IsContiguous(&*view, 'F')) {
        PyErr_SetString(PyExc_TypeError, "The given array is not contiguous");
        return nullptr;
    }
    NdArray out = NdArray::uninit(Shape{dims});
    const auto* src = static_cast<const double*>(view->buf);
    if (out.size() == 0)
        ;  // nothing to copy (and no pointer to copy through)
    else if (c_order)
        std::memcpy(out.data.data(), src, out.size() * sizeof(double));
    else
        copy_fortran_to_c(src, out.data.data(), dims, out.size());
    return wrap_array(std::move(out));
}

using ToNumpy = ArrayMethod<"to_numpy($self)">;

PyObject* from_numpy_body(Args<FromNumpy>& in) { return from_numpy(in.slots[0]); }

// NumPy's array protocol: numpy.asarray(a) and NumPy functions take an Array.
// The result is always a copy; a dtype goes through NumPy's own conversion.
using ArrayProtocol = ArrayMethod<"__array__($self, dtype=None, copy=None)">;
PyObject* array_protocol(const NdArray& a, Args<ArrayProtocol>& in) {
    PyObject* dtype = in.slots[0];
    PyObject* copy = in.slots[1];
    if (copy == Py_False) {
        raise_value_error("Unable to avoid copy while creating an array as requested.");
        return nullptr;
    }
    Ref out = Ref::steal(to_numpy(a));
    if (!out || !dtype || dtype == Py_None) return out.release();
    return PyObject_CallMethod(out.get(), "astype", "O", dtype);
}

const PyMethodDef defs[] = {
    array_method_def<ToNumpy, to_numpy>(),
    static_def<FromNumpy, from_numpy_body>(),
    array_method_def<ArrayProtocol, array_protocol>(),
};

}  // namespace

ClassPart numpy_part() { return {defs, {}}; }

}  // namespace tessaron::py
