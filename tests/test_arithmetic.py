import math
import operator

import numpy as np
import pytest

import tessaron as ts

OPS = [operator.add, operator.sub, operator.mul, operator.truediv]

COMPATIBLE = [
    ((3,), (3,)), ((2, 3), (3,)), ((3,), (2, 3)), ((3, 1), (1, 4)), ((2, 1, 3), (4, 1)),
    ((), (2, 2)), ((2, 2), ()), ((), ()), ((1,), (2, 2)), ((0,), (0,)), ((0,), (1,)),
    ((2, 0), (1,)), ((1, 0), (3, 1)), ((4, 1, 1), (1, 5, 1)), ((2, 3, 4), (2, 1, 4)),
    ((1, 1), (1,)), ((5, 1, 3, 1), (2, 1, 6)), ((2, 3), (2, 3)),
]


def rand(shape, seed):
    # Values with both signs, exact zeros of both signs and non-finite entries.
    rng = np.random.default_rng(seed)
    x = np.array(rng.standard_normal(shape) * 10)
    pool = np.array([0.0, -0.0, np.inf, -np.inf, np.nan, 1.0])
    mask = rng.random(shape) < 0.2
    x[mask] = rng.choice(pool, size=int(mask.sum()))
    return x


def same_bits(got, expected):
    """Bitwise equality, except that any NaN matches any NaN (payloads differ)."""
    e = np.asarray(expected, dtype=np.float64)
    g = got.to_numpy()
    assert got.shape == list(e.shape)
    nan = np.isnan(e)
    assert np.array_equal(np.isnan(g), nan)
    assert g[~nan].tobytes() == e[~nan].tobytes()


@pytest.mark.parametrize("op", OPS, ids=lambda o: o.__name__)
@pytest.mark.parametrize("sa, sb", COMPATIBLE)
def test_broadcasting_against_numpy(op, sa, sb):
    x, y = rand(sa, 1), rand(sb, 2)
    a, b = ts.Array.from_numpy(x), ts.Array.from_numpy(y)
    with np.errstate(all="ignore"):
        expected = op(x, y)
    same_bits(op(a, b), expected)
    assert a.to_numpy().tobytes() == x.tobytes() and b.to_numpy().tobytes() == y.tobytes()


@pytest.mark.parametrize("op", OPS, ids=lambda o: o.__name__)
@pytest.mark.parametrize("shape", [(), (0,), (5,), (2, 3), (3, 0, 2)])
@pytest.mark.parametrize("s", [2.5, -0.0, 0.0, True, 3])
def test_scalar_on_either_side(op, shape, s):
    x = rand(shape, 3)
    a = ts.Array.from_numpy(x)
    with np.errstate(all="ignore"):
        same_bits(op(a, s), op(x, np.float64(s)))
        same_bits(op(s, a), op(np.float64(s), x))


@pytest.mark.parametrize("sa, sb", [((3,), (4,)), ((2, 3), (2,)), ((3,), (0,)), ((2, 2), (3, 1, 3))])
def test_incompatible_shapes_panic_and_leave_operands(sa, sb):
    a, b = ts.zeros(list(sa)) + 1, ts.zeros(list(sb)) + 2
    with pytest.raises(ts.PanicException) as e:
        a + b
    assert str(e.value) == "Shapes are not broadcast-compatible"
    assert list(a) == [1.0] * len(a) and list(b) == [2.0] * len(b)


def test_hand_worked_cases():
    a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
    v = ts.asarray([1, 2, 3])
    assert (a - v).tolist() == [[0, 0, 0], [3, 3, 3]]
    assert (v - a).tolist() == [[0, 0, 0], [-3, -3, -3]]
    assert (ts.asarray([1, 2, 3], [3, 1]) * ts.asarray([1, 10, 100, 1000], [1, 4])).tolist() == [
        [1, 10, 100, 1000], [2, 20, 200, 2000], [3, 30, 300, 3000]]
    assert (2 - v).tolist() == [1, 0, -1]
    assert (1 / ts.asarray([0.0, -0.0, 2.0])).tolist() == [math.inf, -math.inf, 0.5]
    assert (True + v).tolist() == [2, 3, 4]


def test_negation_flips_every_sign():
    x = np.array([0.0, -0.0, 1.5, -np.inf, np.nan])
    got = (-ts.Array.from_numpy(x)).to_numpy()
    assert np.array_equal(np.signbit(got), ~np.signbit(x))


@pytest.mark.parametrize("other", [[1, 2, 3], "x", None, (1,), {}])
def test_unsupported_operands_raise_type_error(other):
    a = ts.asarray([1, 2, 3])
    for op in OPS:
        with pytest.raises(TypeError):
            op(a, other)
        with pytest.raises(TypeError):
            op(other, a)


def test_float_conversion_hook_errors_mean_unsupported():
    class Weird:
        def __float__(self):
            raise ZeroDivisionError

    with pytest.raises(TypeError, match="unsupported operand"):
        ts.asarray([1.0]) + Weird()


def test_no_in_place_update_and_no_comparisons():
    a = ts.asarray([1, 2])
    alias = a
    a += 1
    assert alias.tolist() == [1.0, 2.0] and a.tolist() == [2.0, 3.0]
    assert (a == a) and not (a == ts.asarray([2, 3]))
    with pytest.raises(TypeError):
        a < a
    with pytest.raises(TypeError):
        +a
    with pytest.raises(TypeError):
        abs(a)
    assert bool(ts.zeros([3])) and not bool(ts.zeros([0]))
