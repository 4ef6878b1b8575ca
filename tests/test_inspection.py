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


def test_numpy_round_trip_matches_data_and_shape():
    rng = np.random.default_rng(0)
    for shape in [(), (0,), (3,), (2, 3), (2, 0, 4), (3, 1, 2, 2)]:
        x = rng.standard_normal(shape)
        a = ts.Array.from_numpy(x)
        assert a.shape == list(shape)
        assert list(a) == x.ravel().tolist()
        back = a.to_numpy()
        assert back.dtype == np.float64 and back.shape == shape and back.flags.writeable
        np.testing.assert_array_equal(back, x)
        back[...] = 9.0  # a copy of its own
        assert list(a) == x.ravel().tolist()


def test_from_numpy_fortran_order_and_copies():
    x = np.arange(6.0).reshape(2, 3)
    a = ts.Array.from_numpy(x.T)
    assert a.tolist() == [[0.0, 3.0], [1.0, 4.0], [2.0, 5.0]]
    f = np.asfortranarray(np.arange(24.0).reshape(2, 3, 4))
    assert ts.Array.from_numpy(f).tolist() == f.tolist()
    x[0, 0] = 100.0
    assert a.tolist()[0][0] == 0.0
    ro = np.arange(3.0)
    ro.flags.writeable = False
    assert ts.Array.from_numpy(ro).tolist() == [0.0, 1.0, 2.0]


@pytest.mark.parametrize("value, message", [
    (np.arange(3, dtype=np.float32), "argument 'arr': 'ndarray' object cannot be cast as 'ndarray'"),
    (np.arange(3), "argument 'arr': 'ndarray' object cannot be cast as 'ndarray'"),
    (np.arange(3.0).astype(">f8"), "argument 'arr': 'ndarray' object cannot be cast as 'ndarray'"),
    (np.arange(6.0)[::2], "The given array is not contiguous"),
    (np.arange(12.0).reshape(3, 4)[:, :2], "The given array is not contiguous"),
])
def test_from_numpy_refusals(value, message):
    with pytest.raises(TypeError) as e:
        ts.Array.from_numpy(value)
    assert str(e.value) == message


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
