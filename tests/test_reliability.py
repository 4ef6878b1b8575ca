"""Failed calls leave every object as it was; repeated calls do not leak; huge
requests fail cleanly."""
import gc
import math
import os
import struct
import sys
import tracemalloc

import numpy as np
import pytest

import tessaron as ts
from conftest import TREE_CLASSES

P = ts.PanicException
FAILURES = (TypeError, ValueError, OverflowError, MemoryError, RuntimeError, NotImplementedError, P)


def snapshot(a):
    return struct.pack(f"<{len(a)}d", *a), a.shape


def arrays():
    return ts.Array([2, 3], [1.0, -0.0, math.nan, 4.0, 5.0, math.inf]), ts.asarray([1.0, 2.0])


# Failing calls on an Array `a` (2 x 3) and a vector `v`.
ARRAY_FAILURES = [
    lambda a, v: a.clip("x", 1.0), lambda a, v: a.quantile(2.0), lambda a, v: a @ v,
    lambda a, v: a.matmul(v), lambda a, v: a.get([5, 5]), lambda a, v: a.take([99]),
    lambda a, v: a.to_pylist_recursive(5, 0), lambda a, v: a + ts.zeros([4]),
    lambda a, v: a.__setitem__((0, 9), 1.0), lambda a, v: a.__setitem__(0, 1.0),
    lambda a, v: a.__setitem__((0, 0), "x"), lambda a, v: a.__delitem__(0),
    lambda a, v: a.diagonal(1.5), lambda a, v: ts.linalg.cholesky(a), lambda a, v: ts.linalg.eig(a),
    lambda a, v: ts.stats.pearson(a, v), lambda a, v: ts.stats.spearman(v, a),
    lambda a, v: ts.Array.outer(a, v), lambda a, v: ts.column_stack([a, v, 3]),
    lambda a, v: ts.asarray(a, shape=[7]), lambda a, v: ts.spatial.KDTree.from_array(v),
]


@pytest.mark.parametrize("fail", ARRAY_FAILURES)
def test_failed_calls_leave_arrays_unchanged(fail):
    a, v = arrays()
    before = snapshot(a), snapshot(v)
    with pytest.raises(FAILURES):
        fail(a, v)
    assert (snapshot(a), snapshot(v)) == before


GENERATOR_FAILURES = [
    lambda g: g.uniform(1.0, 0.0, [3]), lambda g: g.normal(0.0, 1.0, [-1]), lambda g: g.gamma(0.0, 1.0, [2]),
    lambda g: g.beta(1.0, -1.0, [2]), lambda g: g.randint(5, 5, [2]), lambda g: g.lognormal("x", 1.0, [1]),
    lambda g: g.uniform(0.0, 1.0, [2**40]), lambda g: g.standard_normal([2**62, 4]),
]


@pytest.mark.parametrize("fail", GENERATOR_FAILURES)
def test_failed_draws_consume_nothing(fail):
    g = ts.random.seed(11)
    with pytest.raises(FAILURES):
        fail(g)
    assert g.uniform(0.0, 1.0, [5]).tolist() == ts.random.seed(11).uniform(0.0, 1.0, [5]).tolist()


@pytest.mark.parametrize("cls", TREE_CLASSES)
def test_failed_queries_leave_trees_unchanged(cls):
    tree = cls.from_array(ts.Array.from_numpy(np.random.default_rng(2).random((50, 2))), 4)
    expected = tree.query_knn([0.5, 0.5], 5), tree.query_radius([0.5, 0.5], 0.2), tree.kernel_density().tolist()
    for fail in (lambda: tree.query_knn("q", 1), lambda: tree.query_knn([0.5] * 3, 2),
                 lambda: tree.kernel_density([1.0]), lambda: tree.kernel_density_approx(criterion="max_span"),
                 lambda: tree.query_radius([0.5, 0.5], "r"), lambda: tree.kernel_density(ts.zeros([1, 1, 2]))):
        with pytest.raises(FAILURES):
            fail()
    assert (tree.query_knn([0.5, 0.5], 5), tree.query_radius([0.5, 0.5], 0.2),
            tree.kernel_density().tolist()) == expected


def every_call(a, v, m, g, trees, x):
    """Each public entry point once, succeeding or failing."""
    calls = [
        lambda: ts.zeros([3, 2]), lambda: ts.ones([4]), lambda: ts.full([2], 3.0), lambda: ts.eye(3, 2, 1),
        lambda: ts.diag([1.0, 2.0]), lambda: ts.asarray(v, [2, 1]), lambda: ts.column_stack([v, v]),
        lambda: ts.Array([2], [1.0, 2.0]), lambda: ts.Array([3], [1.0]), lambda: repr(a), lambda: list(a),
        lambda: a.tolist(), lambda: a.to_numpy(), lambda: ts.Array.from_numpy(x), lambda: ts.Array.from_numpy([1]),
        lambda: a + v[0], lambda: a * a, lambda: 2.0 / a, lambda: -a, lambda: m @ m, lambda: a @ v,
        lambda: a[1], lambda: a[0, 2], lambda: a[::2], lambda: a[9], lambda: 4.0 in a,
        lambda: a.exp(), lambda: a.clip(0.0, 1.0), lambda: a.sum(), lambda: a.median(), lambda: a.quantile(v),
        lambda: a.quantile(3.0), lambda: a.take([0, 5]), lambda: a.get([1, 1]), lambda: m.diagonal(),
        lambda: ts.linalg.qr(m), lambda: ts.linalg.cholesky(m), lambda: ts.linalg.eig_with_params(m, 5),
        lambda: ts.linalg.outer(v, [1.0]), lambda: ts.stats.spearman(v, v), lambda: ts.stats.pearson(a, v),
        lambda: ts.stats.quantile(a, 0.3), lambda: g.normal(0.0, 1.0, [5]), lambda: g.beta(2.0, 3.0, [3]),
        lambda: g.uniform(1.0, 0.0, [2]), lambda: ts.random.seed(3), lambda: ts.Generator.from_seed(-1),
    ]
    for t in trees:
        calls += [lambda t=t: t.query_knn([0.5, 0.5], 3), lambda t=t: t.query_radius(v, 0.3),
                  lambda t=t: t.kernel_density(), lambda t=t: t.kernel_density_approx(m, 0.5, "uniform", "min_samples", 2),
                  lambda t=t: t.query_knn("bad", 2), lambda t=t: t.kernel_density([1.0])]
    calls += [lambda: ts.spatial.KDTree.from_array(m, 1), lambda: ts.spatial.VPTree.from_array(m, 1, "manhattan", "random"),
              lambda: ts.spatial.BallTree.from_array(m, metric="bad")]
    for call in calls:
        try:
            call()
        except FAILURES:
            pass


def test_repeated_calls_do_not_leak():
    a = ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
    v, m = ts.asarray([0.25, 0.75]), ts.Array([2, 2], [4.0, 1.0, 1.0, 3.0])
    g, x = ts.random.seed(1), np.arange(6.0).reshape(2, 3)
    points = ts.Array.from_numpy(np.random.default_rng(0).random((40, 2)))
    trees = [cls.from_array(points, 4) for cls in TREE_CLASSES]
    args = (a, v, m, g, trees, x)
    refs = [sys.getrefcount(o) for o in (a, v, m, g, x, points, *trees)]
    for _ in range(50):  # warm up caches and free lists
        every_call(*args)
    gc.collect()
    tracemalloc.start()
    before_py = tracemalloc.get_traced_memory()[0]
    before_rss = rss()
    for _ in range(400):
        every_call(*args)
    gc.collect()
    grown_py = tracemalloc.get_traced_memory()[0] - before_py
    tracemalloc.stop()
    grown_rss = rss() - before_rss
    assert grown_py < 64 * 1024, grown_py
    if "libasan" not in os.environ.get("LD_PRELOAD", ""):  # ASan holds freed memory back on purpose
        assert grown_rss < 8 * 1024 * 1024, grown_rss
    assert [sys.getrefcount(o) for o in (a, v, m, g, x, points, *trees)] == refs


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


@pytest.mark.parametrize("call, error", [
    (lambda: ts.zeros([2**32, 2**32]), ValueError), (lambda: ts.ones([2**64 - 1]), ValueError),
    (lambda: ts.zeros([2**40]), MemoryError), (lambda: ts.full([3, 2**62], 1.0), ValueError),
    (lambda: ts.eye(2**32), ValueError), (lambda: ts.random.seed(1).uniform(0.0, 1.0, [10**12]), MemoryError),
    (lambda: ts.Array([2**63, 2**63], []), ValueError), (lambda: ts.zeros([2**64]), OverflowError),
    (lambda: ts.diag([1.0], 2**63 - 1), ValueError), (lambda: ts.asarray([1.0], [2**62, 8]), ValueError),
])
def test_huge_requests_fail_cleanly(call, error):
    with pytest.raises(error):
        call()


def test_huge_counts_that_are_valid():
    points = ts.Array([3, 1], [0.0, 1.0, 2.0])
    for cls in TREE_CLASSES:
        tree = cls.from_array(points, 2**64 - 1)
        assert tree.query_knn([0.9], 2**64 - 1) == [1, 0, 2]
    assert ts.random.seed(1).randint(-2**63, 2**63 - 1, [3]).shape == [3]


def test_deep_nesting_in_conversions():
    deep = [1.0]
    for _ in range(100_000):
        deep = [deep]
    with pytest.raises(TypeError):
        ts.asarray(deep)
    nested = ts.zeros([1] * 300).tolist()
    for _ in range(300):
        nested = nested[0]
    assert nested == 0.0
    a = ts.zeros([1] * 100_000)
    with pytest.raises(RecursionError):
        a.tolist()
    assert a.sum() == 0.0
