"""tessaron.stats: the reductions as functions, and Pearson/Spearman correlation."""
import functools
import math
import operator
import struct
import subprocess
import sys

import numpy as np
import pytest

try:
    import scipy.stats
except ImportError:  # CPython's debug build in CI has no SciPy of its own ABI
    scipy = None

import tessaron as ts
from conftest import interrupted_promptly

S = ts.stats


def bits(x):
    return struct.pack("<d", x)


def seq_sum(xs, start=-0.0):
    return functools.reduce(operator.add, xs, start)


def ref_ranks(xs):
    """Average 1-based ranks: stable ascending order, NaN after all numbers, each NaN alone."""
    order = sorted(range(len(xs)), key=lambda i: (math.isnan(xs[i]), 0.0 if math.isnan(xs[i]) else xs[i]))
    r = [0.0] * len(xs)
    i = 0
    while i < len(order):
        e = i + 1
        while e < len(order) and xs[order[e]] == xs[order[i]]:
            e += 1
        for p in range(i, e):
            r[order[p]] = (i + 1 + e) * 0.5
        i = e
    return r


def ref_pearson(xs, ys):
    """The documented order of operations, in Python floats (IEEE doubles)."""
    n = len(xs)
    ma, mb = seq_sum(xs) / n if n else math.nan, seq_sum(ys) / n if n else math.nan
    cov = saa = sbb = 0.0
    for x, y in zip(xs, ys):
        da, db = x - ma, y - mb
        cov += da * db
        saa += da * da
        sbb += db * db
    sa, sb = saa ** 0.5, sbb ** 0.5
    return 0.0 if sa == 0.0 or sb == 0.0 else cov / (sa * sb)


def test_all_lists_the_functions_in_order():
    assert S.__all__ == ["sum", "mean", "var", "std", "median", "quantile", "any", "all",
                         "pearson", "spearman"]
    assert not hasattr(S, "std_dev")


@pytest.mark.parametrize("name", ["sum", "mean", "var", "std", "median", "any", "all"])
@pytest.mark.parametrize("data, shape", [([], [0]), ([], [2, 0]), ([0.0], [1]), ([-0.0, 0.0], [2]),
                                         ([1.0, 2.0, 3.0, 4.0], [2, 2]), ([3.0, math.nan], [2]),
                                         ([0.1 * i for i in range(101)], [101])])
def test_functions_agree_with_the_array_methods(name, data, shape):
    a = ts.Array(shape, data)
    got, expected = getattr(S, name)(a), getattr(a, name)()
    assert type(got) is type(expected)
    assert bits(got) == bits(expected)


def test_quantile_forms():
    a = ts.asarray([1.0, 2.0, 3.0, 4.0])
    assert S.quantile(a, 0.5) == 2.5 and type(S.quantile(a, 0.5)) is float
    q = S.quantile(a, ts.Array([2, 2], [0.0, 1 / 3, 0.5, 1.0]))
    assert q.shape == [4] and q.tolist() == [1.0, 2.0, 2.5, 4.0]
    assert S.quantile(a, ts.zeros([0])).shape == [0]
    with pytest.raises(ts.PanicException, match="^Quantile must be between 0 and 1$"):
        S.quantile(a, 2.0)
    with pytest.raises(TypeError, match="^argument 'q': failed to extract enum ArrayOrScalar"):
        S.quantile(a, "0.5")


@pytest.mark.parametrize("fn, args, name", [
    (S.sum, ([1.0, 2.0],), "a"), (S.quantile, ([1.0, 2.0], 0.5), "a"),
    (S.pearson, ([1.0, 2.0], ts.asarray([1.0, 2.0])), "a"),
    (S.spearman, (ts.asarray([1.0, 2.0]), [1.0, 2.0]), "b"),
])
def test_lists_are_refused_for_array_parameters(fn, args, name):
    with pytest.raises(TypeError, match=f"^argument '{name}': 'list' object cannot be cast as 'Array'$"):
        fn(*args)


@pytest.mark.parametrize("n, seed", [(2, 0), (7, 1), (1000, 2), (4097, 3)])
def test_pearson_bit_exact_and_against_scipy(n, seed):
    rng = np.random.default_rng(seed)
    x = rng.normal(size=n) * 10 ** rng.uniform(-3, 3)
    y = 0.5 * x + rng.normal(size=n)
    got = S.pearson(ts.Array.from_numpy(x), ts.Array.from_numpy(y))
    assert bits(got) == bits(ref_pearson(x.tolist(), y.tolist()))
    if n > 2 and scipy:
        assert got == pytest.approx(scipy.stats.pearsonr(x, y).statistic, rel=1e-12, abs=1e-14)


@pytest.mark.parametrize("fn, xs, ys, expected", [
    (S.pearson, [1, 2, 3], [2, 4, 6], 1.0), (S.pearson, [1, 2, 3], [3, 2, 1], -1.0),
    (S.spearman, [1, 2, 3, 4], [1, 4, 9, 16], 1.0), (S.spearman, [1, 2, 3], [3, 1, 2], -0.5),
    (S.spearman, [10, 20, 20, 5], [2, 3.5, 3.5, 1], 1.0), (S.spearman, [1, 2, 2, 3], [1, 3, 3, 4], 1.0),
    (S.pearson, [3, 1, 2, 8], None, 1.0), (S.spearman, [3, 1, 2, 8], None, 1.0),
])
def test_correlation_hand_worked(fn, xs, ys, expected):
    a = ts.asarray(xs)
    assert fn(a, a if ys is None else ts.asarray(ys)) == pytest.approx(expected, abs=1e-15)


@pytest.mark.parametrize("xs, ys", [([1, 2, 3], [5, 5, 5]), ([4, 4], [1, 2]), ([], [])])
def test_zero_deviation_gives_exactly_zero(xs, ys):
    for fn in (S.pearson, S.spearman):
        got = fn(ts.asarray(xs), ts.asarray(ys))
        assert bits(got) == bits(0.0)


@pytest.mark.parametrize("fn, a, b, message, left, right", [
    (S.pearson, [3], [4], "Arrays must have same length", 3, 4),
    (S.pearson, [2, 2], [4], "Array must be 1d", 2, 1),
    (S.pearson, [4], [2, 2], "Array must be 1d", 2, 1),
    (S.spearman, [3], [2], "Arrays must have same length", 3, 2),
    (S.spearman, [2, 2], [3], "Array must be 1d", 2, 1),
    (S.spearman, [3], [3, 1], "Array must be 1d", 2, 1),
])
def test_correlation_assertions(fn, a, b, message, left, right):
    x, y = ts.ones(a), ts.ones(b)
    with pytest.raises(ts.PanicException) as e:
        fn(x, y)
    assert e.value.args == (f"assertion `left == right` failed: {message}\n  left: {left}\n right: {right}",)
    assert x.tolist() == ts.ones(a).tolist() and y.tolist() == ts.ones(b).tolist()


@pytest.mark.parametrize("n, levels, seed", [(50, 5, 0), (1000, 30, 1), (5000, 10 ** 9, 2), (3000, 2, 3)])
def test_spearman_with_ties_bit_exact_and_against_scipy(n, levels, seed):
    rng = np.random.default_rng(seed)
    x = rng.integers(0, levels, n) * 0.25 - 3.0
    y = x * rng.integers(-1, 2, n) + rng.integers(0, levels, n)
    got = S.spearman(ts.Array.from_numpy(x), ts.Array.from_numpy(y))
    expected = ref_pearson(ref_ranks(x.tolist()), ref_ranks(y.tolist()))
    assert bits(got) == bits(expected)
    if scipy:
        assert got == pytest.approx(scipy.stats.spearmanr(x, y).statistic, rel=1e-10, abs=1e-12)


NAN_SCRIPT = """
import math, random, struct, sys
import tessaron as ts
sys.path.insert(0, {tests!r})
from test_stats_module import ref_pearson, ref_ranks
rng = random.Random(5)
for n in [1, 2, 3, 17, 100, 2000]:
    for _ in range(5):
        xs = [rng.choice([math.nan, rng.randint(0, 6) * 1.0, rng.random(), -0.0]) for _ in range(n)]
        ys = [rng.random() for _ in range(n)]
        got = ts.stats.spearman(ts.asarray(xs), ts.asarray(ys))
        want = ref_pearson(ref_ranks(xs), ref_ranks(ys))
        assert struct.pack('<d', got) == struct.pack('<d', want) or (math.isnan(got) and math.isnan(want)), (n, got, want)
print('ok')
"""


def test_nan_gets_its_own_rank_after_all_numbers_in_a_subprocess():
    import os
    code = NAN_SCRIPT.format(tests=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "ok"


def test_correlations_stay_within_one():
    rng = np.random.default_rng(4)
    for _ in range(200):
        x = rng.integers(0, 4, 7).astype(float)
        for r in (S.pearson(ts.asarray(x), ts.asarray(x * 3 + 1)), S.spearman(ts.asarray(x), ts.asarray(-x))):
            assert -1.0 <= r <= 1.0


STATS_SETUP = """
x = np.random.default_rng(0).standard_normal(40_000_000)
a = ts.Array.from_numpy(x)
"""


@pytest.mark.parametrize("call", [
    "[ts.stats.median(a) for _ in range(10)]", "[ts.stats.quantile(a, np.array([0.1, 0.9])) for _ in range(10)]",
    "[a.quantile(0.3) for _ in range(10)]", "[ts.stats.spearman(a, a) for _ in range(10)]",
])
def test_ctrl_c_stops_the_order_statistics_promptly(call):
    unchanged = "a.to_numpy().tobytes() == x.tobytes()"
    assert interrupted_promptly(STATS_SETUP, call, unchanged, 0.5) == ["interrupted", "True", "prompt"]
