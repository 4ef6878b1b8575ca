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


def test_zero_dimensional_array():
    a = ts.Array([], [5.0])
    assert a.shape == [] and len(a) == 1
    assert a.tolist() == 5.0 and isinstance(a.tolist(), float)
    assert list(a) == [5.0]


def test_to_pylist_recursive():
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    assert a.to_pylist_recursive(1, 3) == [4.0, 5.0, 6.0]
    assert a.to_pylist_recursive(0, 0) == [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]


@pytest.mark.parametrize("dim, offset, message", [
    (2, 0, "index out of bounds: the len is 2 but the index is 2"),
    (1, 4, "index out of bounds: the len is 6 but the index is 6"),
    (1, 2**64 - 1, "index out of bounds: the len is 6 but the index is 18446744073709551615"),
])
def test_to_pylist_recursive_out_of_range(dim, offset, message):
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    with pytest.raises(ts.PanicException) as e:
        a.to_pylist_recursive(dim, offset)
    assert str(e.value) == message
    assert a.tolist() == [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]


def test_iterator_is_independent_of_its_array():
    a = ts.asarray([1, 2, 3])
    it = iter(a)
    assert iter(it) is it
    assert next(it) == 1.0
    del a
    assert list(it) == [2.0, 3.0]
    assert list(it) == []
    with pytest.raises(StopIteration):
        next(it)
    assert type(it).__name__ == "PyArrayIter"


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


def test_to_numpy_owns_a_copy():
    a = ts.asarray([1.0, 2.0])
    n = a.to_numpy()
    n[0] = 9.0
    assert a.tolist() == [1.0, 2.0]
    del a
    assert n.tolist() == [9.0, 2.0]


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


def test_missing_numpy_panics_and_leaves_the_table_unset():
    code = (
        "import sys; sys.modules['numpy'] = None\n"
        "import tessaron as ts\n"
        "a = ts.zeros([1])\n"
        "try:\n"
        "    a.to_numpy()\n"
        "except BaseException as e:\n"
        "    print(type(e).__name__, '|', e)\n"
        "del sys.modules['numpy']\n"
        "print(a.to_numpy().tolist())\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    first, second = out.stdout.splitlines()
    assert first.startswith("PanicException | Failed to access NumPy array API capsule: ")
    assert second == "[0.0]"


def test_import_does_not_import_numpy():
    code = "import sys, tessaron; tessaron.zeros([2]).tolist(); print('numpy' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.stdout.strip() == "False", out.stderr


def test_len_and_shape_are_plain_ints():
    a = ts.zeros([2, 3])
    assert len(a) == 6 and a.shape == [2, 3]
    s = a.shape
    s.append(9)
    assert a.shape == [2, 3]
    assert math.prod(a.shape) == len(a)


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
