import ctypes
import gc
import math
import subprocess
import sys

import numpy as np
import pytest

import tessaron as ts


@pytest.mark.parametrize("arr, text", [
    (ts.eye(2), "Array(shape=[2, 2], data=[1.0, 0.0, 0.0, 1.0])"),
    (ts.zeros([]), "Array(shape=[], data=[0.0])"),
    (ts.zeros([0, 2]), "Array(shape=[0, 2], data=[])"),
])
def test_repr_arrays(arr, text):
    assert repr(arr) == text


@pytest.mark.parametrize("dim, offset, message", [
    (1, 3, [4.0, 5.0, 6.0]), (0, 0, [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]),
    (2, 0, "index out of bounds: the len is 2 but the index is 2"),
    (1, 4, "index out of bounds: the len is 6 but the index is 6"),
    (1, 2**64 - 1, "index out of bounds: the len is 6 but the index is 18446744073709551615"),
])
def test_to_pylist_recursive(dim, offset, message):
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    if isinstance(message, list):
        assert a.to_pylist_recursive(dim, offset) == message
        return
    with pytest.raises(ts.PanicException) as e:
        a.to_pylist_recursive(dim, offset)
    assert str(e.value) == message
    assert a.tolist() == [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]


def test_iterator_is_independent_of_its_array():
    a = ts.asarray([1, 2, 3])
    it = iter(a)
    assert iter(it) is it and type(it).__name__ == "PyArrayIter" and next(it) == 1.0
    del a
    assert list(it) == [2.0, 3.0] and list(it) == []


NUMPY_DTYPES = [np.float64, np.float32, np.float16, np.longdouble, np.int8, np.int16, np.int32, np.int64,
                np.uint8, np.uint16, np.uint32, np.uint64, np.bool_, ">f8", ">i4", "<u2"]
LAYOUTS = [lambda a: a, np.asfortranarray, lambda a: a[:, ::2, ::-1], lambda a: a.transpose(2, 0, 1),
           lambda a: a[0, 1, 2, ...], lambda a: a[:0], lambda a: np.broadcast_to(a[:1], (3, 3, 4))]


@pytest.mark.parametrize("dtype", NUMPY_DTYPES, ids=str)
def test_from_numpy_converts_every_real_dtype_and_layout_as_astype(dtype):
    x = (np.random.default_rng(2).standard_normal((2, 3, 4)) * 1e3).astype(dtype)
    for layout in LAYOUTS:
        view = layout(x)
        a = ts.Array.from_numpy(view)
        back = a.to_numpy()
        assert a.shape == list(view.shape) and back.shape == view.shape and back.flags.writeable
        assert back.tobytes() == np.asarray(view).astype(np.float64).tobytes()
    source = x.copy()
    a = ts.Array.from_numpy(source)
    source[...] = 0
    assert a.to_numpy().tobytes() == x.astype(np.float64).tobytes()  # a copy of its own


@pytest.mark.parametrize("value, message", [
    (np.zeros(3, complex), "cannot convert a NumPy array of dtype complex128: it does not hold real numbers"),
    (np.array([1, "a"], object), "cannot convert a NumPy array of dtype object: it does not hold real numbers"),
    (np.array(["ab"]), "cannot convert a NumPy array of dtype <U2: it does not hold real numbers"),
    (np.zeros(2, "M8[s]"), r"cannot convert a NumPy array of dtype datetime64\[s\]: it does not hold real numbers"),
    ([1.0], "'list' object cannot be cast as 'ndarray'"),
])
def test_from_numpy_refuses_what_is_no_array_of_real_numbers(value, message):
    with pytest.raises(TypeError, match=rf"^argument 'arr': {message}$"):
        ts.Array.from_numpy(value)


def test_numpy_is_loaded_only_when_used_and_a_missing_one_panics():
    code = """import sys, tessaron as ts
a = ts.zeros([1]) + 1
print('numpy' in sys.modules)
sys.modules['numpy'] = None
try:
    a.to_numpy()
except BaseException as e:
    print(type(e).__name__, '|', e)
del sys.modules['numpy']
print(a.to_numpy().tolist())"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    imported, failure, after = out.stdout.splitlines()
    assert imported == "False" and after == "[1.0]"
    assert failure.startswith("PanicException | Failed to access NumPy array API capsule: ")


def python_style(x):
    """The expected element text, derived from Python's own shortest repr."""
    if math.isnan(x):
        return "NaN"
    r = repr(x)
    if "e" not in r:
        return r
    mantissa, exp = r.split("e")
    return f"{mantissa}e{int(exp)}"


from hypothesis import given, strategies as st  # noqa: E402


@given(st.lists(st.floats(allow_nan=True, allow_infinity=True), max_size=8))
def test_repr_agrees_with_python_shortest_digits(values):
    a = ts.asarray(values)
    expected = "[" + ", ".join(python_style(v) for v in values) + "]"
    assert repr(a) == f"Array(shape=[{len(values)}], data={expected})"


NUMPY_FUNCTIONS = [
    lambda m, a: m.sum(a), lambda m, a: m.sum(a, axis=0), lambda m, a: m.mean(a, axis=-1),
    lambda m, a: m.std(a, ddof=1), lambda m, a: m.median(a, axis=0), lambda m, a: m.quantile(a, [0.1, 0.5]),
    lambda m, a: m.min(a, axis=1), lambda m, a: m.any(a), lambda m, a: m.argmax(a), lambda m, a: m.clip(a, -1, 0.5),
    lambda m, a: m.dot(a, m.transpose(a)), lambda m, a: m.linalg.norm(a), lambda m, a: m.linalg.norm(a, axis=0),
    lambda m, a: m.concatenate([a, a]), lambda m, a: m.stack((a, a), axis=-1), lambda m, a: m.sort(a, axis=None),
    lambda m, a: m.where(m.asarray(a) > 0, a, -a), lambda m, a: m.cumsum(a, axis=0),
]


def outcome(call):
    try:
        r = call()
    except Exception as e:  # the same failure (an axis out of range, say) is part of the same behaviour
        return type(e)
    return type(r), np.asarray(r).dtype, np.shape(r), np.asarray(r).tobytes()


@pytest.mark.parametrize("shape", [(7,), (3, 4)])
@pytest.mark.parametrize("fn", NUMPY_FUNCTIONS)
def test_numpy_functions_on_arrays_behave_as_on_their_numpy_copies(fn, shape):
    x = np.random.default_rng(3).standard_normal(shape).round(1)
    a = ts.Array.from_numpy(x)
    assert outcome(lambda: fn(np, a)) == outcome(lambda: fn(np, x))
    assert a.to_numpy().tobytes() == x.tobytes()


def cyclic(x, loops=1):
    l = [x]
    l.extend([l] * loops)
    return l


def nested(x, depth=100_000):
    inner = outer = []
    for _ in range(depth):
        inner.append([])
        inner = inner[0]
    return [x, outer]


HOSTILE_STRUCTURES = [
    lambda m, x: m.concatenate(cyclic(x)), lambda m, x: m.concatenate(cyclic(x, loops=40)),
    lambda m, x: m.concatenate(nested(x)), lambda m, x: m.stack([x, x], axis=0, out=cyclic(x)),
    lambda m, x: m.sum(x, axis=cyclic(x)), lambda m, x: m.stack(nested(x, depth=70)),
]


@pytest.mark.parametrize("fn", HOSTILE_STRUCTURES)
def test_self_referential_and_deep_arguments_fail_as_with_numpy_arrays(fn):
    x = np.ones((3, 3))

    def failure(arg):
        with pytest.raises(Exception) as info:
            fn(np, arg)
        return type(info.value), str(info.value)

    assert failure(ts.Array.from_numpy(x)) == failure(x)


IN_PLACE = [  # NumPy's in-place functions, applied to the view np.asarray gives
    lambda v: np.fill_diagonal(v, 1.0), lambda v: np.copyto(v, 2.5), lambda v: np.put(v, [0, 4], [7.0, 8.0]),
    lambda v: np.place(v, v > 0.5, [9.0]), lambda v: np.putmask(v, v < 0.5, -1.0),
    lambda v: np.add(v, 1.0, out=v), lambda v: np.negative(v, out=v), lambda v: v.__setitem__((1, 2), 4.0),
]


@pytest.mark.parametrize("change", IN_PLACE)
def test_numpy_in_place_functions_change_the_array(change):
    x = np.random.default_rng(4).random((3, 3))
    a = ts.Array.from_numpy(x)
    change(np.asarray(a))  # on the Array's memory
    change(x)  # the same on NumPy's own array
    assert a.to_numpy().tobytes() == x.tobytes()


@pytest.mark.parametrize("shape", [(), (0,), (4,), (2, 0, 3), (2, 3, 4)])
def test_views_share_the_arrays_memory_both_ways(shape):
    a = ts.zeros(list(shape))
    m, v = memoryview(a), np.asarray(a)
    assert (m.format, m.shape, m.strides, m.readonly) == ("d", shape, v.strides, False)
    assert v.dtype == np.float64 and v.flags.c_contiguous and v.flags.writeable
    if shape and math.prod(shape):
        v.reshape(-1)[-1] = 5.0
        assert a.to_numpy().reshape(-1)[-1] == 5.0
        a[(0,) * len(shape) if len(shape) > 1 else 0] = -3.0
        assert v.reshape(-1)[0] == -3.0 and m.tolist() == a.to_numpy().tolist()


def test_a_view_keeps_its_memory_and_the_array_its_layout():
    a = ts.Array([2, 2], [1.0, 2.0, 3.0, 4.0])
    v = np.asarray(a)
    del a
    gc.collect()
    assert v.tolist() == [[1.0, 2.0], [3.0, 4.0]]  # the Array lives as long as its view
    # A request for Fortran order is refused where C order is not also Fortran order.
    get_buffer = ctypes.pythonapi.PyObject_GetBuffer
    get_buffer.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    fortran = 0x0040 | 0x0010 | 0x0008  # PyBUF_F_CONTIGUOUS
    with pytest.raises(BufferError, match="not Fortran-contiguous"):
        get_buffer(ts.zeros([2, 3]), ctypes.create_string_buffer(256), fortran)
    view = ctypes.create_string_buffer(256)
    assert get_buffer(ts.zeros([1, 3]), view, fortran) == 0
    ctypes.pythonapi.PyBuffer_Release(view)


def test_numpy_functions_write_into_an_array_given_as_out():
    a, out = ts.Array([2, 2], [1.0, 2.0, 3.0, 4.0]), ts.zeros([2, 2, 2])
    np.stack([a, a], axis=0, out=out)
    np.cumsum(a, axis=1, out=a)
    assert out.tolist()[1] == [[1.0, 2.0], [3.0, 4.0]] and a.tolist() == [[1.0, 3.0], [3.0, 7.0]]
