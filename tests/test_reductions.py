import functools
import math
import operator
import struct

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import tessaron as ts


def bits(x):
    return struct.pack("<d", x)


def same(x, y):
    return (math.isnan(x) and math.isnan(y)) or bits(x) == bits(y)


def seq_sum(xs):
    return functools.reduce(operator.add, xs, -0.0)


def ref_var(xs):
    if not xs:
        return math.nan
    m = seq_sum(xs) / len(xs)
    return seq_sum([(x - m) * (x - m) for x in xs]) / len(xs)


def ref_quantile(xs, q):
    """Linear interpolation on Python's stable sort, exactly as documented."""
    if not xs or any(math.isnan(x) for x in xs):
        return math.nan
    s = sorted(xs)
    pos = q * (len(s) - 1)
    lo, hi = math.floor(pos), math.ceil(pos)
    if lo == hi:
        return s[lo]
    f = pos - lo
    return (1 - f) * s[lo] + f * s[hi]


def ref_median(xs):
    if not xs or any(math.isnan(x) for x in xs):
        return math.nan
    s, n = sorted(xs), len(xs)
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) * 0.5


finite = st.floats(allow_nan=False, allow_infinity=False, width=64)
zeros_and_values = st.one_of(st.sampled_from([0.0, -0.0, 1.0, -1.0, 2.5]), finite)


@settings(max_examples=200)
@given(st.lists(zeros_and_values, max_size=40), st.floats(0.0, 1.0))
def test_order_statistics_equal_a_stable_sort(xs, q):
    a = ts.asarray(xs)
    assert same(a.median(), ref_median(xs))
    assert same(a.quantile(q), ref_quantile(xs, q))
    got = a.quantile(ts.asarray([q, 0.0, 1.0, 0.5])).tolist()
    assert all(same(g, ref_quantile(xs, r)) for g, r in zip(got, [q, 0.0, 1.0, 0.5]))


@pytest.mark.parametrize("xs", [
    [0.0, -0.0], [-0.0, 0.0], [-0.0, 0.0, -0.0, 0.0, -0.0], [0.0, -0.0, 0.0, 1.0, -1.0, -0.0],
    [-0.0] * 5 + [0.0] * 4, [3.0, -0.0, 0.0, -2.0],
])
def test_signed_zeros_follow_input_order(xs):
    a = ts.asarray(xs)
    assert bits(a.median()) == bits(ref_median(xs))
    for q in [0.0, 0.2, 0.25, 0.5, 0.75, 1.0]:
        assert bits(a.quantile(q)) == bits(ref_quantile(xs, q))


@settings(max_examples=100)
@given(st.lists(st.floats(width=64), max_size=30))
def test_sums_and_moments_are_sequential(xs):
    a = ts.asarray(xs)
    assert same(a.sum(), seq_sum(xs))
    assert same(a.mean(), seq_sum(xs) / len(xs) if xs else math.nan)
    assert same(a.var(), ref_var(xs))
    assert same(a.std(), math.sqrt(ref_var(xs)) if not math.isnan(ref_var(xs)) else math.nan)


def test_large_sum_is_the_sequential_one_not_pairwise():
    x = np.random.default_rng(0).standard_normal(100_001) * 1e6
    a = ts.Array.from_numpy(x)
    assert bits(a.sum()) == bits(float(np.add.accumulate(x)[-1]))
    assert bits(a.var()) == bits(ref_var(x.tolist()))


@pytest.mark.parametrize("shape", [[0], [2, 0]])
def test_empty_arrays(shape):
    a = ts.zeros(shape)
    assert bits(a.sum()) == bits(-0.0)
    for m in (a.mean, a.var, a.std, a.median, lambda: a.quantile(0.5)):
        assert math.isnan(m())
    assert a.any() is False and a.all() is True
    got = a.quantile(ts.asarray([0.1, 0.9])).tolist()
    assert len(got) == 2 and all(math.isnan(v) for v in got)


def test_hand_worked_values():
    a = ts.asarray([1, 2, 3, 4])
    assert (a.mean(), a.var(), a.std()) == (2.5, 1.25, math.sqrt(1.25))
    assert ts.asarray([3, 1, 2]).median() == 2.0
    assert ts.asarray([4, 1, 3, 2]).median() == 2.5
    assert ts.Array([2, 2], [4, 1, 3, 2]).median() == 2.5
    assert [a.quantile(q) for q in (0.5, 0, 1, 1 / 3)] == [2.5, 1.0, 4.0, 2.0]
    assert a.quantile(ts.asarray([0, 0.5, 1])).tolist() == [1.0, 2.5, 4.0]
    assert bits(ts.asarray([0.0]).sum()) == bits(0.0)
    assert ts.asarray([0, -0.0]).any() is False
    assert ts.asarray([1, math.nan]).all() is True
    assert ts.asarray([math.nan]).any() is True


def test_nan_data_gives_nan_order_statistics():
    a = ts.asarray([3.0, math.nan, 1.0])
    assert math.isnan(a.median()) and math.isnan(a.quantile(0.0))
    assert all(math.isnan(v) for v in a.quantile(ts.asarray([0.0, 1.0])).tolist())
    assert math.isnan(a.sum()) and math.isnan(a.var())


@pytest.mark.parametrize("q", [1.5, -0.1, math.nan])
@pytest.mark.parametrize("data", [[1, 2, 3], []])
def test_quantile_range_is_checked_first(q, data):
    a = ts.asarray(data)
    with pytest.raises(ts.PanicException) as e:
        a.quantile(q)
    assert str(e.value) == "Quantile must be between 0 and 1"
    with pytest.raises(ts.PanicException):
        a.quantile(ts.asarray([0.5, q]))


def test_large_selection_matches_numpy():
    rng = np.random.default_rng(5)
    x = rng.standard_normal(200_001)
    x[::7] = np.round(x[::7])  # many ties
    a = ts.Array.from_numpy(x)
    assert a.median() == np.median(x)
    for q in (0.0, 0.3, 0.999, 1.0):
        assert a.quantile(q) == ref_quantile_np(x, q)
    assert ts.Array.from_numpy(x[:-1]).median() == np.median(x[:-1])


def ref_quantile_np(x, q):
    s = np.sort(x)
    pos = q * (len(s) - 1)
    lo, hi = math.floor(pos), math.ceil(pos)
    return s[lo] if lo == hi else (1 - (pos - lo)) * s[lo] + (pos - lo) * s[hi]

