import math

import numpy as np
import pytest

import tessaron as ts


@pytest.mark.parametrize("shape, data", [
    ([], [5.0]),
    ([0], []),
    ([2, 3], [1, 2, 3, 4, 5, 6]),
    ([3, 0, 2], []),
    ([1, 1, 1], [7]),
])
def test_array_matches_numpy_reshape(shape, data):
    a = ts.Array(shape, data)
    expected = np.array(data, dtype=float).reshape(shape)
    assert a.shape == list(shape)
    assert len(a) == expected.size
    assert a.tolist() == expected.tolist()
    assert list(a) == expected.ravel().tolist()


class Floaty:
    def __float__(self):
        return 4.5


class Indexy:
    def __index__(self):
        return 4


def test_keywords_sequences_and_conversion_hooks_are_accepted():
    assert ts.Array(data=(1, True, Floaty(), 10**20), shape=(Indexy(),)).tolist() == [1.0, 1.0, 4.5, 1e20]
    assert ts.full([1], 10**20).tolist() == [1e20]


@pytest.mark.parametrize("make, shape, data, message", [
    (ts.Array, [2, 3], [1, 2], "Data length 2 doesn't match shape [2, 3] (expected 6)"),
    (ts.Array, [2, 2], [1, 2, 3], "Data length 3 doesn't match shape [2, 2] (expected 4)"),
    (ts.Array, [], [], "Data length 0 doesn't match shape [] (expected 1)"),
    (lambda shape, data: ts.asarray(data, shape), [2], [1, 2, 3], "Data length 3 doesn't match shape [2] (expected 2)"),
])
def test_data_length_mismatch(make, shape, data, message):
    with pytest.raises(ValueError) as e:
        make(shape, data)
    assert str(e.value) == message


@pytest.mark.parametrize("call", [
    lambda: ts.zeros([2**32, 2**32]),
    lambda: ts.ones([2**62, 4]),
    lambda: ts.full([2**40, 2**40, 2**40], 1.0),
    lambda: ts.Array([2**63, 2], [1.0]),
    lambda: ts.eye(2**33),
    lambda: ts.asarray([1.0], shape=[2**64 - 1, 2]),
    lambda: ts.diag([1.0], k=-2**63),
])
def test_overflowing_shape_is_a_value_error(call):
    with pytest.raises(ValueError, match="too large"):
        call()


def test_zero_length_dimension_beats_overflow():
    a = ts.zeros([2**63, 0, 2**63])
    assert len(a) == 0 and a.shape == [2**63, 0, 2**63]
    assert ts.zeros([0, 2**63]).tolist() == []
    with pytest.raises(MemoryError):
        a.tolist()  # a list of 2**63 empty lists


def test_unobtainable_storage_is_a_memory_error():
    with pytest.raises(MemoryError):
        ts.zeros([2**58])
    assert ts.zeros([3]).tolist() == [0.0, 0.0, 0.0]


@pytest.mark.parametrize("fn, args, expected", [
    (ts.zeros, ([2, 2],), np.zeros((2, 2))),
    (ts.ones, ([3],), np.ones(3)),
    (ts.full, ([2], -0.0), np.full(2, -0.0)),
    (ts.full, ([], math.nan), np.full((), math.nan)),
    (ts.eye, (3,), np.eye(3)),
    (ts.eye, (2, 3), np.eye(2, 3)),
    (ts.eye, (3, None, 1), np.eye(3, k=1)),
    (ts.eye, (2, 4, -1), np.eye(2, 4, k=-1)),
    (ts.eye, (2, 2, 5), np.eye(2, k=5)),
    (ts.eye, (2, 2, -2), np.eye(2, k=-2)),
    (ts.eye, (2, 2, 2**63 - 1), np.zeros((2, 2))),
    (ts.eye, (2, 2, -2**63), np.zeros((2, 2))),
    (ts.diag, ([1, 2],), np.diag([1.0, 2.0])),
    (ts.diag, ([1, 2], 1), np.diag([1.0, 2.0], k=1)),
    (ts.diag, ([1, 2], -1), np.diag([1.0, 2.0], k=-1)),
    (ts.diag, ([], 2), np.zeros((2, 2))),
    (ts.diag, ([],), np.zeros((0, 0))),
])
def test_constructors_against_numpy(fn, args, expected):
    got = fn(*args)
    assert got.shape == list(expected.shape)
    assert got.to_numpy().tobytes() == expected.tobytes()  # signed zeros and NaN too
    # The static method behaves as the module function.
    assert getattr(ts.Array, fn.__name__)(*args).to_numpy().tobytes() == expected.tobytes()


def test_diag_of_array_uses_its_shape_and_refuses_matrices():
    v = ts.asarray([3, 4])
    assert ts.diag(v).tolist() == [[3.0, 0.0], [0.0, 4.0]]
    with pytest.raises(ts.PanicException):
        ts.diag(ts.zeros([1, 2]))


@pytest.mark.parametrize("data, shape, expected_shape", [
    ([1, 2, 3, 4], None, [4]),
    ([1, 2, 3, 4], [2, 2], [2, 2]),
    ([7], [], []),
])
def test_asarray(data, shape, expected_shape):
    a = ts.asarray(data, shape)
    assert a.shape == expected_shape
    assert list(a) == [float(x) for x in data]


def test_asarray_of_an_array_flattens_and_copies():
    src = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    flat = ts.asarray(src)
    assert flat.shape == [6] and list(flat) == list(src)
    assert ts.asarray(src, [3, 2]).tolist() == [[1.0, 2.0], [3.0, 4.0], [5.0, 6.0]]
    assert src.shape == [2, 3]


def test_column_stack():
    got = ts.column_stack([ts.asarray([1, 2]), ts.Array([2, 2], [3, 4, 5, 6])])
    assert got.tolist() == [[1.0, 3.0, 4.0], [2.0, 5.0, 6.0]]
    rng = np.random.default_rng(1)
    parts = [rng.random(4), rng.random((4, 3)), rng.random((4, 0))]
    got = ts.column_stack([ts.Array.from_numpy(p) for p in parts])
    np.testing.assert_array_equal(got.to_numpy(), np.column_stack(parts))


@pytest.mark.parametrize("arrays, exc, message", [
    ([], ValueError, "Need at least one array"),
    ([ts.zeros([1, 1, 1])], ts.PanicException, "column_stack only supports 1D and 2D arrays"),
    ([ts.zeros([2]), ts.zeros([3, 1])], ts.PanicException,
     "assertion `left == right` failed: All arrays must have the same number of rows\n  left: 3\n right: 2"),
    ([[1.0]], TypeError, "argument 'arrays': 'list' object cannot be cast as 'Array'"),
])
def test_column_stack_failures(arrays, exc, message):
    with pytest.raises(exc) as e:
        ts.column_stack(arrays)
    assert str(e.value) == message
