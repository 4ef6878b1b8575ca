import math

import numpy as np
import pytest

import tessaron as ts


def sequential_matmul(x, y):
    """Each entry as one left-to-right sum from -0.0 (np.add.accumulate is sequential)."""
    x2 = x if x.ndim == 2 else x[None, :]
    y2 = y if y.ndim == 2 else y[:, None]
    m, n = x2.shape
    p = y2.shape[1]
    if n == 0:
        out = np.full((m, p), -0.0)
    else:
        out = np.add.accumulate(x2[:, :, None] * y2[None, :, :], axis=1)[:, -1, :]
    if x.ndim == 1 and y.ndim == 1:
        return out.reshape(1)
    if x.ndim == 1:
        return out[0]
    if y.ndim == 1:
        return out[:, 0]
    return out


def arr(x):
    return ts.Array.from_numpy(np.ascontiguousarray(x, dtype=np.float64))


def assert_bits(got, expected):
    e = np.asarray(expected, dtype=np.float64)
    g = got.to_numpy()
    assert g.shape == e.shape
    nan = np.isnan(e)
    assert np.array_equal(np.isnan(g), nan)
    assert g[~nan].tobytes() == e[~nan].tobytes()


@pytest.mark.parametrize("m, n, p", [
    (2, 3, 2), (1, 5, 1), (7, 9, 13), (13, 17, 5), (100, 300, 33), (97, 520, 9), (12, 257, 130), (200, 64, 17), (6, 1000, 8), (1, 700, 40), (40, 700, 1),
])
def test_blocked_matmul_keeps_each_sum_sequential(m, n, p):
    rng = np.random.default_rng(m + n + p)
    # Mixed magnitudes make any change of summation order visible in the bits.
    x = rng.standard_normal((m, n)) * 10.0 ** rng.integers(-8, 8, (m, n))
    y = rng.standard_normal((n, p))
    assert_bits(arr(x) @ arr(y), sequential_matmul(x, y))


@pytest.mark.parametrize("sx, sy", [((3,), (3,)), ((4,), (4, 5)), ((5, 4), (4,)), ((300,), (300, 70)),
                                    ((70, 300), (300,)), ((0,), (0,)), ((0,), (0, 3)), ((3, 0), (0,))])
def test_vector_forms(sx, sy):
    rng = np.random.default_rng(7)
    x = rng.standard_normal(sx) * 10.0 ** rng.integers(-6, 6, sx)
    y = rng.standard_normal(sy)
    assert_bits(arr(x).dot(arr(y)), sequential_matmul(x, y))


def test_hand_worked_products():
    assert ts.asarray([1, 2, 3]).matmul(ts.asarray([4, 5, 6])).tolist() == [32.0]
    empty = ts.zeros([2, 0]) @ ts.zeros([0, 3])
    assert empty.shape == [2, 3]
    assert all(math.copysign(1, v) == -1 for v in empty)
    assert (ts.zeros([0, 3]) @ ts.zeros([3, 2])).shape == [0, 2]
    # All-positive-zero terms give +0.0.
    assert math.copysign(1, (ts.zeros([1, 2]) @ ts.zeros([2, 1])).tolist()[0][0]) == 1


def test_non_finite_values_propagate():
    x = np.array([[np.inf, 1.0], [np.nan, 0.0]])
    y = np.array([[0.0, 1.0], [1.0, -np.inf]])
    assert_bits(arr(x) @ arr(y), sequential_matmul(x, y))


@pytest.mark.parametrize("sa, sb, message", [
    ([2, 3], [2, 3], "assertion `left == right` failed: Inner dimensions must match: 3 vs 2\n  left: 3\n right: 2"),
    ([3], [4], "assertion `left == right` failed: Vectors must have same length\n  left: 3\n right: 4"),
    ([3], [4, 2], "assertion `left == right` failed: Inner dimensions must match\n  left: 3\n right: 4"),
    ([2, 3], [4], "assertion `left == right` failed: Inner dimensions must match\n  left: 3\n right: 4"),
    ([2, 2, 2], [2, 2], "matmul requires 1D or 2D arrays"),
    ([], [2], "matmul requires 1D or 2D arrays"),
])
def test_matmul_failures(sa, sb, message):
    a, b = ts.zeros(sa), ts.zeros(sb)
    for call in (lambda: a @ b, lambda: a.matmul(b), lambda: a.dot(b)):
        with pytest.raises(ts.PanicException) as e:
            call()
        assert str(e.value) == message


def test_matmul_operand_types():
    a = ts.eye(2)
    with pytest.raises(TypeError):
        a @ 2
    with pytest.raises(TypeError):
        2 @ a
    with pytest.raises(TypeError, match=r"^argument 'other': 'list' object cannot be cast as 'Array'$"):
        a.dot([1, 2])


def test_outer():
    got = ts.Array.outer([1, 2], [3, 4, 5])
    assert got.tolist() == [[3, 4, 5], [6, 8, 10]]
    assert ts.Array.outer([], ts.asarray([1, 2])).shape == [0, 2]
    rng = np.random.default_rng(3)
    x, y = rng.standard_normal(50), rng.standard_normal(70)
    assert_bits(ts.Array.outer(arr(x), y.tolist()), np.outer(x, y))
    with pytest.raises(ts.PanicException, match="First input must be 1D"):
        ts.Array.outer(ts.zeros([2, 2]), [1])
    with pytest.raises(ts.PanicException, match="Second input must be 1D"):
        ts.Array.outer([1], ts.zeros([]))


@pytest.mark.parametrize("k", [0, 1, 2, 3, 4, -1, -2, -3, 2**63 - 1, -2**63, None])
@pytest.mark.parametrize("shape", [(3, 4), (4, 3), (0, 2), (1, 1)])
def test_diagonal_against_numpy(shape, k):
    x = np.arange(float(np.prod(shape))).reshape(shape)
    got = arr(x).diagonal(k) if k is not None else arr(x).diagonal()
    expected = np.diagonal(x, 0 if k is None else max(min(k, 10), -10))
    assert got.shape == [len(expected)] and got.tolist() == expected.tolist()


@pytest.mark.parametrize("shape", [(2, 3), (1, 5), (0, 4), (40, 70), (33, 1)])
def test_transpose(shape):
    x = np.random.default_rng(0).standard_normal(shape)
    a = arr(x)
    assert_bits(a.t(), x.T)
    assert_bits(a.transpose(), x.T)


@pytest.mark.parametrize("shape", [[3], [], [2, 2, 2]])
def test_transpose_requires_a_matrix(shape):
    with pytest.raises(ts.PanicException, match="transpose requires 2D array"):
        ts.zeros(shape).t()
