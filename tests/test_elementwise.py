import math
import struct

import numpy as np
import pytest

import tessaron as ts

VALUES = [0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 2.0, 1e-300, -3.7, 100.0, 710.0, -745.2,
          1e308, math.inf, -math.inf, math.nan, math.pi / 2, 1e22]


def c_library(fn, x):
    """Python's math calls the C library; it raises where C returns NaN or inf."""
    try:
        return fn(x)
    except ValueError:
        if fn is math.log and x == 0:
            return -math.inf
        return math.nan
    except OverflowError:
        return math.inf


def same(x, y):
    return (math.isnan(x) and math.isnan(y)) or struct.pack("<d", x) == struct.pack("<d", y)


@pytest.mark.parametrize("method, fn", [
    ("sin", math.sin), ("cos", math.cos), ("tan", math.tan), ("arcsin", math.asin),
    ("arccos", math.acos), ("arctan", math.atan), ("exp", math.exp), ("log", math.log),
    ("sqrt", math.sqrt), ("abs", math.fabs),
])
def test_functions_match_the_c_library_bit_for_bit(method, fn):
    rng = np.random.default_rng(0)
    values = VALUES + (rng.standard_normal(200) * 10.0 ** rng.integers(-5, 5, 200)).tolist()
    got = getattr(ts.asarray(values), method)().tolist()
    for x, g in zip(values, got):
        assert same(g, c_library(fn, x)), (method, x, g)


def test_sign():
    got = ts.asarray([-2.0, -0.0, 0.0, 3.0, math.nan]).sign().tolist()
    assert got == [-1.0, 0.0, 0.0, 1.0, 0.0]
    assert all(math.copysign(1, v) == 1 for v in got[1:3])


@pytest.mark.parametrize("shape", [[], [0], [2, 3], [1, 0, 2]])
def test_shape_is_kept(shape):
    a = ts.zeros(shape)
    for m in ("sin", "exp", "abs", "sign"):
        assert getattr(a, m)().shape == shape
    assert a.clip(0, 1).shape == shape


@pytest.mark.parametrize("lo, hi, expected", [
    (3, 7, [3, 5, 7]), (7, 3, [7, 7, 3]), (math.nan, 4, [1, 4, 4]), (2, math.nan, [2, 5, 9]),
])
def test_clip(lo, hi, expected):
    assert ts.asarray([1, 5, 9]).clip(lo, hi).tolist() == expected


def test_clip_keeps_nan_and_checks_argument_types():
    assert math.isnan(ts.asarray([math.nan]).clip(0, 1).tolist()[0])
    with pytest.raises(TypeError, match="^argument 'max': must be real number, not str$"):
        ts.asarray([1]).clip(0, "x")


def test_methods_leave_the_array_unchanged():
    a = ts.asarray([0.25, -4.0])
    for m in ("sin", "sqrt", "log", "sign", "abs", "exp", "median", "sum"):
        getattr(a, m)()
    assert a.tolist() == [0.25, -4.0]
