"""Failed calls leave every object as it was; repeated calls do not leak; huge
requests fail cleanly."""
import gc
import math
import os
import pickle
import struct
import sys
import tracemalloc

import numpy as np
import pytest

import tessaron as ts
from conftest import TREE_CLASSES
from fuzz_targets import every_entry_point

P = ts.PanicException
FAILURES = (TypeError, ValueError, OverflowError, MemoryError, RuntimeError, NotImplementedError, LookupError, P)


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


class Hook:
    """A number and a shape whose conversion first runs `action`: Python code
    that touches an object while a call holds it."""
    def __init__(self, action, value):
        self.action, self.value = action, value

    def __float__(self):
        self.action()
        return float(self.value)

    def __len__(self):
        return len(self.value)

    def __getitem__(self, i):
        return self.value[i]

    def __iter__(self):
        self.action()
        return iter(self.value)


def loan_cases():
    a, g = ts.asarray([1.0, 2.0]), ts.random.seed(5)
    write = lambda: a.__setitem__(0, 99.0)
    return [
        (a, lambda: a.clip(Hook(write, 0.0), 5.0), "Already borrowed"),
        (a, lambda: ts.asarray(a, Hook(write, [2])), "Already borrowed"),
        (a, lambda: a.__setitem__(0, Hook(a.sum, 0.0)), "Already mutably borrowed"),
        (g, lambda: g.uniform(0.0, Hook(lambda: g.uniform(0.0, 1.0, [1]), 1.0), [2]), "Already borrowed"),
    ]


@pytest.mark.parametrize("case", range(4))
def test_an_object_in_use_refuses_a_conflicting_call(case):
    obj, call, message = loan_cases()[case]
    before = pickle.dumps(obj)
    with pytest.raises(RuntimeError, match=f"^{message}$"):
        call()
    assert pickle.dumps(obj) == before


def test_repeated_calls_do_not_leak():
    a = ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
    g = ts.random.seed(1)
    points = ts.Array.from_numpy(np.random.default_rng(0).random((40, 2)))
    trees = [cls.from_array(points, 4) for cls in TREE_CLASSES]
    calls = every_entry_point([a, g, *trees])
    objects = (a, g, points, *trees)
    refs = [sys.getrefcount(o) for o in objects]

    def every_call():
        for c in calls:
            try:
                c()
            except FAILURES:
                pass

    for _ in range(30):  # warm up caches and free lists
        every_call()
    gc.collect()
    tracemalloc.start()
    before_py = tracemalloc.get_traced_memory()[0]
    before_rss = rss()
    for _ in range(200):
        every_call()
    gc.collect()
    grown_py = tracemalloc.get_traced_memory()[0] - before_py
    tracemalloc.stop()
    grown_rss = rss() - before_rss
    assert grown_py < 32 * 1024, grown_py
    if "libasan" not in os.environ.get("LD_PRELOAD", ""):  # ASan holds freed memory back on purpose
        assert grown_rss < 8 * 1024 * 1024, grown_rss
    assert [sys.getrefcount(o) for o in objects] == refs


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


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
