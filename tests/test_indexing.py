import numpy as np
import pytest

import tessaron as ts

I64_MIN, I64_MAX = -2**63, 2**63 - 1


def too_many(ndim, k):
    return f"too many indices for array: array is {ndim}-dimensional, but {k} were indexed"


def out_of_bounds(j, axis, size):
    return f"index {j} is out of bounds for axis {axis} with size {size}"


@pytest.fixture
def x234():
    return np.arange(24.0).reshape(2, 3, 4)


@pytest.mark.parametrize("key", [0, 1, -1, -2, (1,), (0, 2), (-1, -1), (1, 2, 3), (-2, 0, -4), ()])
def test_integer_and_tuple_reads_match_numpy(x234, key):
    a = ts.Array.from_numpy(x234)
    got, expected = a[key], x234[key]
    if np.ndim(expected) == 0:
        assert isinstance(got, float) and got == expected
    else:
        assert got.shape == list(expected.shape) and got.tolist() == expected.tolist()


def test_zero_dimensional_reads():
    a = ts.Array([], [5.0])
    assert a[()] == 5.0
    with pytest.raises(ValueError, match=f"^{too_many(0, 1)}$"):
        a[0]


@pytest.mark.parametrize("key", [slice(0, 2), slice(None, None, -1), slice(1, None, 2), slice(-4, -1),
                                 slice(10, 20), slice(5, 0, -2), slice(I64_MIN, I64_MAX),
                                 slice(I64_MAX, I64_MIN, -1), slice(2**100, -2**100, -3)])
def test_flat_slices(key):
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    flat = [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
    got = a[key]
    assert got.shape == [len(flat[key])] and got.tolist() == flat[key]


@pytest.mark.parametrize("key, message", [
    (3, out_of_bounds(3, 0, 2)), (-3, out_of_bounds(-3, 0, 2)),
    (I64_MAX, out_of_bounds(I64_MAX, 0, 2)), (I64_MIN, out_of_bounds(I64_MIN, 0, 2)),
    ((0, 3), out_of_bounds(3, 1, 3)), ((0, -4), out_of_bounds(-4, 1, 3)),
    ((0, I64_MIN), out_of_bounds(I64_MIN, 1, 3)), ((1, 0, 0), too_many(2, 3)),
    (1.0, "indices must be integers, slices, or tuples of integers"),
    ([0, 1], "indices must be integers, slices, or tuples of integers"),
    (2**64, "indices must be integers, slices, or tuples of integers"),
    ("a", "indices must be integers, slices, or tuples of integers"),
    ((1.0,), TypeError), ((slice(0, 1),), TypeError), ((2**64,), OverflowError),  # a tuple item's own error
    (slice(None, None, 0), "slice step cannot be zero"),
])
def test_read_errors(key, message):
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    with pytest.raises(message if isinstance(message, type) else ValueError) as e:
        a[key]
    assert isinstance(message, type) or str(e.value) == message


def test_reads_are_copies():
    a = ts.Array([2, 2], [1, 2, 3, 4])
    row = a[0]
    row[0] = 100.0
    flat = a[:]
    flat[1] = 100.0
    assert a.tolist() == [[1.0, 2.0], [3.0, 4.0]]


@pytest.mark.parametrize("shape, key, value, expected_index", [
    ((2, 3), (0, 1), 5.0, (0, 1)), ((2, 3), (-1, -1), 7, (1, 2)), ((2, 3), (True, 0), -0.5, (1, 0)),
    ((3,), -1, 9, 2), ((3,), True, True, 1),
])
def test_assignment_matches_numpy(shape, key, value, expected_index):
    x = np.arange(6.0)[:np.prod(shape)].reshape(shape)
    a = ts.Array.from_numpy(x)
    a[key] = value
    x[expected_index] = value
    assert a.tolist() == x.tolist()


@pytest.mark.parametrize("shape, key, value, exc, message", [
    ([2, 3], 0, 5.0, ValueError,
     "single index assignment only supported for 1D arrays; use tuple indexing for nD arrays"),
    ([2, 3], slice(0, 2), 5.0, ValueError, "indices must be integers or tuples of integers for assignment"),
    ([2, 3], (0,), 5.0, ValueError, "cannot set item: expected 2 indices, got 1"),
    ([2, 3], (0, 3), 5.0, ValueError, out_of_bounds(3, 1, 3)),
    ([3], 100, "x", TypeError, "argument 'value': must be real number, not str"),
    ([3], 3, 1.0, ValueError, out_of_bounds(3, 0, 3)),
    ([3], I64_MIN, 1.0, ValueError, out_of_bounds(I64_MIN, 0, 3)),
    ([3], 1.5, 1.0, ValueError, "indices must be integers or tuples of integers for assignment"),
    ([], (), 1.0, None, None),
])
def test_assignment_errors_leave_the_array_unchanged(shape, key, value, exc, message):
    a = ts.zeros(shape) + 1
    before = repr(a)
    if exc is None:
        a[key] = value
        assert a.tolist() == 1.0
        return
    with pytest.raises(exc) as e:
        a[key] = value
    assert str(e.value) == message
    assert repr(a) == before


def test_deletion_is_refused():
    a = ts.zeros([2])
    for key in (0, "anything", slice(None)):
        with pytest.raises(NotImplementedError, match="^can't delete item$"):
            del a[key]


def test_membership():
    a = ts.asarray([0.0, 1.5, float("nan")])
    assert 1.5 in a and -0.0 in a and True not in a
    assert float("nan") not in a
    assert 0.0 in ts.asarray([-0.0])
    with pytest.raises(TypeError, match="^argument 'value': must be real number, not str$"):
        "x" in a


def test_get():
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    assert a.get([1, 2]) == a[1, 2] == 6.0
    assert ts.Array([], [4.0]).get([]) == 4.0
    for bad in ([1], [2, 0], [0, 3], [0, 0, 0]):
        with pytest.raises(ValueError, match="^Index out of bounds$"):
            a.get(bad)
    with pytest.raises(OverflowError):
        a.get([-1, 0])
    with pytest.raises(TypeError, match="^argument 'indices': Can't extract `str` to `Vec`$"):
        a.get("ab")


def test_take():
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    assert a.take([5, 0, 5]).tolist() == [6.0, 1.0, 6.0]
    empty = a.take([])
    assert empty.shape == [0]
    with pytest.raises(ts.PanicException) as e:
        a.take([6])
    assert str(e.value) == "index out of bounds: the len is 6 but the index is 6"
    with pytest.raises(ts.PanicException):
        a.take([2**64 - 1])
    x = np.random.default_rng(0).standard_normal(1000)
    idx = np.random.default_rng(1).integers(0, 1000, 500)
    assert ts.Array.from_numpy(x).take(idx.tolist()).tolist() == np.take(x, idx).tolist()


@pytest.mark.parametrize("exc", [KeyboardInterrupt, MemoryError, RuntimeError])
def test_only_failed_integer_conversions_become_index_errors(exc):
    class Key:
        def __index__(self):
            raise exc("from __index__")

    class Bad:
        def __index__(self):
            raise TypeError("not an int")

    a = ts.asarray([1.0, 2.0])
    with pytest.raises(exc, match="from __index__"):
        a[Key()]
    with pytest.raises(exc, match="from __index__"):
        a[Key()] = 3.0
    with pytest.raises(ValueError, match="^indices must be integers, slices, or tuples of integers$"):
        a[Bad()]
    assert a.tolist() == [1.0, 2.0]
