// Exchange with NumPy: to_numpy and from_numpy. NumPy is imported lazily,
// on the first exchange, and its C interface table (the "_ARRAY_API"
// capsule) is read once. Element access goes through the buffer protocol.
#include <algorithm>
#include <cstring>

#include "python/array/array_args.hpp"
#include "python/array/array_method.hpp"
#include "python/buffer_reals.hpp"

namespace tessaron::py {
namespace {

// The slots of NumPy's C interface table that are used here; their
// positions are part of NumPy's stable ABI.
constexpr int kArrayTypeSlot = 2;
constexpr int kDescrFromTypeSlot = 45;
constexpr int kFromAnySlot = 69;
constexpr int kNewFromDescrSlot = 94;
constexpr int kNpyDouble = 12;

void** numpy_api = nullptr;

using DescrFromType = PyObject* (*)(int);
using FromAny = PyObject* (*)(PyObject*, PyObject*, int, int, int, PyObject*);
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
        HeldBuffer view;
        if (!view.acquire(out.get(), PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS)) return nullptr;
        std::memcpy(view->buf, a.data.data(), a.size() * sizeof(double));
    }
    return out.release();
}

// The Array's memory as a NumPy array (np.asarray(a)): NumPy reads the
// buffer the Array exports, so writes through the view are the Array's.
PyObject* numpy_view(PyObject* array) {
    if (!load_numpy_api()) return nullptr;
    return reinterpret_cast<FromAny>(numpy_api[kFromAnySlot])(array, nullptr, 0, 0, 0, nullptr);
}

// The buffer protocol: float64, C order, the Array's shape, writable. The
// storage never moves or shrinks while the Array lives (item assignment
// writes in place; nothing resizes an Array), and each export holds a
// reference to the Array, so an export can never outlive its memory. The
// shape and strides of an export live in `internal` until it is released.
int get_buffer(PyObject* self, Py_buffer* view, int flags) {
    const NdArray& a = value_of<NdArray>(self);
    const std::size_t ndim = a.ndim();
    const bool f_order_too =
        std::count_if(a.shape.dims.begin(), a.shape.dims.end(), [](std::uint64_t d) { return d != 1; }) <= 1;
    if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS && !f_order_too) {
        PyErr_SetString(PyExc_BufferError, "Array is C-contiguous, not Fortran-contiguous");
        view->obj = nullptr;
        return -1;
    }
    auto* layout = ndim ? static_cast<Py_ssize_t*>(PyMem_Malloc(2 * ndim * sizeof(Py_ssize_t))) : nullptr;
    if (ndim && !layout) {
        PyErr_NoMemory();
        view->obj = nullptr;
        return -1;
    }
    Py_ssize_t step = sizeof(double);
    for (std::size_t i = ndim; i-- > 0;) {
        layout[i] = static_cast<Py_ssize_t>(a.shape[i]);
        layout[ndim + i] = step;
        step *= layout[i];
    }
    static double no_elements;  // a valid address for an empty Array
    view->obj = Py_NewRef(self);
    view->buf = a.size() ? const_cast<double*>(a.data.data()) : &no_elements;
    view->len = static_cast<Py_ssize_t>(a.size() * sizeof(double));
    view->readonly = 0;
    view->itemsize = sizeof(double);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("d") : nullptr;
    view->ndim = static_cast<int>(ndim);
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? layout : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? layout + ndim : nullptr;
    view->suboffsets = nullptr;
    view->internal = layout;
    return 0;
}

void release_buffer(PyObject*, Py_buffer* view) { PyMem_Free(view->internal); }

const PyType_Slot buffer_slots[] = {
    {Py_bf_getbuffer, reinterpret_cast<void*>(get_buffer)},
    {Py_bf_releasebuffer, reinterpret_cast<void*>(release_buffer)},
};

using FromNumpy = Signature<"from_numpy(arr)", "Array">;

// Any NumPy array of real numbers (bool, integers, floats of every size and
// byte order), in any memory layout, converted as astype(float64) converts.
PyObject* from_numpy(PyObject* arr) {
    if (!load_numpy_api()) return nullptr;
    HeldBuffer view;
    const bool ndarray = PyObject_TypeCheck(arr, numpy_array_type());
    const bool reals = ndarray && view.acquire(arr) && holds_reals(*view);
    if (!reals) {
        PyErr_Clear();
        // A NumPy array of another kind (complex, strings, objects, dates) is named by its dtype.
        Ref dtype = ndarray ? Ref::steal(PyObject_GetAttrString(arr, "dtype")) : Ref();
        Ref dtype_name = dtype ? Ref::steal(PyObject_Str(dtype.get())) : Ref();
        const char* name = dtype_name ? PyUnicode_AsUTF8(dtype_name.get()) : nullptr;
        PyErr_Clear();
        if (name)
            PyErr_Format(PyExc_TypeError, "cannot convert a NumPy array of dtype %s: it does not hold real numbers",
                         name);
        else
            PyErr_Format(PyExc_TypeError, "'%s' object cannot be cast as 'ndarray'", type_name(arr).c_str());
        prefix_argument_error(FromNumpy::params[0]);
        return nullptr;
    }
    Shape shape{Dims(view->shape, view->shape + view->ndim)};
    if (!checked_count(shape)) return PyErr_NoMemory();  // a broadcast view larger than memory
    NdArray out = NdArray::uninit(std::move(shape));
    read_reals(*view, out.data.data());
    return wrap_array(std::move(out));
}

using ToNumpy = ArrayMethod<"to_numpy($self)">;

PyObject* from_numpy_body(Args<FromNumpy>& in) { return from_numpy(in.slots[0]); }

// NumPy's array protocol (NumPy 2's form): a view of the Array's memory
// unless a copy is asked for (copy=True) or a dtype needs one, which
// copy=False refuses.
using ArrayProtocol = ArrayMethod<"__array__($self, dtype=None, copy=None)">;
PyObject* array_protocol(PyObject* self, Args<ArrayProtocol>& in) {
    PyObject* dtype = in.slots[0];
    PyObject* copy = in.slots[1];
    const bool copied = copy && copy != Py_None && PyObject_IsTrue(copy);
    if (PyErr_Occurred()) return nullptr;
    Ref out;
    if (copied) {
        ArrayArg a;
        if (!extract(self, a)) return nullptr;
        out = Ref::steal(to_numpy(a.value()));
    } else {
        out = Ref::steal(numpy_view(self));
    }
    if (!out || !dtype || dtype == Py_None) return out.release();
    // astype(dtype, copy=False): the view itself where the dtype is float64.
    Ref astype = Ref::steal(PyObject_GetAttrString(out.get(), "astype"));
    Ref args = astype ? Ref::steal(PyTuple_Pack(1, dtype)) : Ref();
    Ref keywords = args ? Ref::steal(Py_BuildValue("{s:O}", "copy", Py_False)) : Ref();
    Ref converted = keywords ? Ref::steal(PyObject_Call(astype.get(), args.get(), keywords.get())) : Ref();
    if (converted && copy == Py_False && converted.get() != out.get()) {
        raise_value_error("Unable to avoid copy while creating an array as requested.");
        return nullptr;
    }
    return converted.release();
}

// NumPy's function protocol: np.sum(a, axis=0), np.concatenate([a, b]) and
// every other NumPy function called with Arrays runs on NumPy views of them
// (as np.asarray gives), found in the arguments and in the lists, tuples and
// dicts they hold, and returns NumPy's result: an Array passed as `out`
// receives it. No Array stays borrowed while NumPy runs.
//
// Each container is copied once (a memo by identity), so shared and
// self-referential structures come out shaped as they went in; and only down
// to the depth at which NumPy could still read an array from them: deeper
// structure goes on as it is. NumPy then judges the structure as it would
// with its own arrays in place of ours, and no input can exhaust the stack.
class NumpyArguments {
public:
    Ref convert(PyObject* obj) {
        memo_ = Ref::steal(PyDict_New());
        return memo_ ? copy(obj, 0) : Ref();
    }

private:
    static constexpr int kMaxDepth = 64;  // NumPy's largest number of dimensions

    Ref copy(PyObject* obj, int depth) {
        if (is_array(obj)) return Ref::steal(numpy_view(obj));
        const bool list = PyList_CheckExact(obj), tuple = PyTuple_CheckExact(obj);
        const bool dict = PyDict_CheckExact(obj);
        if ((!list && !tuple && !dict) || depth >= kMaxDepth) return Ref::borrow(obj);
        Ref key = Ref::steal(PyLong_FromVoidPtr(obj));
        if (!key) return Ref();
        if (PyObject* seen = PyDict_GetItemWithError(memo_.get(), key.get())) return Ref::borrow(seen);
        if (PyErr_Occurred() || Py_EnterRecursiveCall(" while converting arguments for NumPy")) return Ref();
        Ref out = dict ? copy_dict(obj, key.get(), depth) : copy_sequence(obj, list, key.get(), depth);
        Py_LeaveRecursiveCall();
        return out;
    }

    // The copy is remembered before its items are, so that an item that
    // leads back to the container finds the copy. Items are read from a
    // snapshot (a list's own tuple, a dict's copy whose values are then
    // replaced), which nothing can change while arrays are made.
    Ref copy_sequence(PyObject* obj, bool list, PyObject* key, int depth) {
        Ref items = list ? Ref::steal(PyList_AsTuple(obj)) : Ref::borrow(obj);
        if (!items) return Ref();
        const Py_ssize_t n = PyTuple_GET_SIZE(items.get());
        Ref out = Ref::steal(list ? PyList_New(n) : PyTuple_New(n));
        if (!out || PyDict_SetItem(memo_.get(), key, out.get()) < 0) return Ref();
        for (Py_ssize_t i = 0; i < n; ++i) {
            Ref item = copy(PyTuple_GET_ITEM(items.get(), i), depth + 1);
            if (!item) return Ref();
            if (list)
                PyList_SET_ITEM(out.get(), i, item.release());
            else
                PyTuple_SET_ITEM(out.get(), i, item.release());
        }
        return out;
    }

    Ref copy_dict(PyObject* obj, PyObject* key, int depth) {
        Ref out = Ref::steal(PyDict_Copy(obj));
        if (!out || PyDict_SetItem(memo_.get(), key, out.get()) < 0) return Ref();
        PyObject *name, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(out.get(), &pos, &name, &value)) {
            Ref item = copy(value, depth + 1);
            if (!item || PyDict_SetItem(out.get(), name, item.get()) < 0) return Ref();
        }
        return out;
    }

    Ref memo_;
};

using ArrayFunction = Signature<"__array_function__($self, func, types, args, kwargs)", "Array">;
PyObject* array_function(PyObject*, Args<ArrayFunction>& in) {
    if (!load_numpy_api()) return nullptr;
    NumpyArguments converter;
    Ref args = converter.convert(in.slots[2]);
    Ref kwargs = args ? converter.convert(in.slots[3]) : Ref();
    if (!kwargs) return nullptr;
    if (!PyTuple_Check(args.get()) || !PyDict_Check(kwargs.get())) {
        PyErr_SetString(PyExc_TypeError, "__array_function__ takes an argument tuple and a keyword dict");
        return nullptr;
    }
    return PyObject_Call(in.slots[0], args.get(), kwargs.get());
}

const PyMethodDef defs[] = {
    array_method_def<ToNumpy, to_numpy>(),
    static_def<FromNumpy, from_numpy_body>(),
    method_def<ArrayProtocol, array_protocol>(),
    method_def<ArrayFunction, array_function>(),
};

}  // namespace

ClassPart numpy_part() { return {defs, buffer_slots}; }

}  // namespace tessaron::py
