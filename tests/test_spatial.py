"""Spatial trees against brute force: k-nearest, radius and kernel density, and their failures."""
import math
import zlib
import os
import pickle
import subprocess
import sys

import numpy as np
import pytest

import tessaron as ts
from spatial_reference import check_knn, density_bounds, distances, kernel, radius_set

from conftest import TREE_BUILDS as TREES, TREE_CLASSES as CLASSES, RandomVPTree
METRICS = ["euclidean", "manhattan", "chebyshev"]


def dataset(name):
    rng = np.random.default_rng(zlib.crc32(name.encode()))
    if name == "uniform":
        return rng.random((300, 3))
    if name == "clustered":
        centres = rng.random((4, 2)) * 10
        return centres[rng.integers(0, 4, 250)] + rng.normal(scale=0.05, size=(250, 2))
    if name == "duplicated":
        return np.repeat(rng.integers(0, 3, (30, 2)).astype(float), 5, axis=0)
    if name == "line":
        return rng.random((120, 1))
    if name == "wide":
        return rng.random((150, 16))
    if name == "tiny":
        return rng.random((3, 2))
    if name == "single":
        return np.array([[0.5, -1.0]])
    raise KeyError(name)


DATASETS = ["uniform", "clustered", "duplicated", "line", "wide", "tiny", "single"]


def queries_for(x, count=12, seed=1):
    rng = np.random.default_rng(seed)
    lo, hi = x.min(axis=0), x.max(axis=0)
    q = lo + (hi - lo + 0.2) * rng.random((count, x.shape[1])) - 0.1
    return np.vstack([q, x[: count // 3]])  # also queries on stored points


def build(cls, x, leaf_size, metric):
    return cls.from_array(ts.Array.from_numpy(np.ascontiguousarray(x)), leaf_size=leaf_size, metric=metric)


@pytest.mark.parametrize("cls", TREES)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("name", DATASETS)
@pytest.mark.parametrize("leaf_size", [0, 1, 7, 1000])
def test_knn_and_radius_equal_brute_force(cls, metric, name, leaf_size):
    x = dataset(name)
    tree = build(cls, x, leaf_size, metric)
    for q in queries_for(x):
        for k in (1, 4, len(x) + 3):
            check_knn(tree.query_knn(q.tolist(), k), x, q, k, metric)
        r = np.sort(distances(x, q, metric))[min(5, len(x) - 1)]  # a radius with points exactly on it
        answer = tree.query_radius(q.tolist(), r)
        assert len(answer) == len(set(answer)) and set(answer) == radius_set(x, q, r, metric)


@pytest.mark.parametrize("cls", TREES)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("name", ["uniform", "clustered", "line", "wide", "tiny"])
@pytest.mark.parametrize("kernel_name", ["gaussian", "epanechnikov", "uniform", "triangular"])
def test_exact_density_is_the_sum_above_the_cut(cls, metric, name, kernel_name):
    x = dataset(name)
    tree = build(cls, x, 5, metric)
    h = 0.3 * math.sqrt(x.shape[1])
    q = queries_for(x, 6)
    got = tree.kernel_density(ts.Array.from_numpy(q), h, kernel_name).tolist()
    for qi, value in zip(q, got):
        low, high = density_bounds(x, qi, h, kernel_name, metric)
        assert low - 1e-9 <= value <= high + 1e-9


@pytest.mark.parametrize("cls", TREES)
def test_density_without_queries_is_in_input_row_order(cls):
    x = dataset("uniform")
    tree = build(cls, x, 4, "euclidean")
    got = tree.kernel_density(None, 0.5, "epanechnikov").tolist()
    for i, value in enumerate(got):
        low, high = density_bounds(x, x[i], 0.5, "epanechnikov", "euclidean")
        assert low - 1e-9 <= value <= high + 1e-9
    assert tree.kernel_density_approx(bandwidth=0.5, kernel="epanechnikov").tolist() == got


def approx_term(kernel_name, lo, hi, h, count):
    return 0.5 * (kernel(kernel_name, lo / h) + kernel(kernel_name, hi / h)) * count


# Points 0, 1, 2, 3 seen from 10 with bandwidth 5. KD root: box [0, 3], span 3,
# bounds 7 and 10; children [0, 1] and [2, 3] (span 1). Ball: 1.5 +- 1.5, the same.
# VP root: vantage 0, others at 1, 2, 3 (span 2), bounds 10 - 3 and 10 + 3;
# children {0, 1} (vantage 0) and {2, 3} (vantage 2), each of span 0.
@pytest.mark.parametrize("cls, root_span, root_bounds, halves", [
    (CLASSES[0], 3.0, (7.0, 10.0), [(9.0, 10.0), (7.0, 8.0)]),
    (CLASSES[1], 3.0, (7.0, 10.0), [(9.0, 10.0), (7.0, 8.0)]),
    (CLASSES[2], 2.0, (7.0, 13.0), [(9.0, 11.0), (7.0, 9.0)]),
])
def test_approximation_follows_its_formula(cls, root_span, root_bounds, halves):
    tree = build(cls, np.array([[0.0], [1.0], [2.0], [3.0]]), 1, "euclidean")
    root = tree.kernel_density_approx(10.0, 5.0, criterion="min_samples", min_samples=0)
    assert root == approx_term("gaussian", *root_bounds, 5.0, 4)
    assert tree.kernel_density_approx(10.0, 5.0, criterion="max_span", max_span=root_span) == root
    got = tree.kernel_density_approx(10.0, 5.0, criterion="combined", min_samples=2, max_span=root_span - 0.1)
    assert got == approx_term("gaussian", *halves[0], 5.0, 2) + approx_term("gaussian", *halves[1], 5.0, 2)
    assert tree.kernel_density_approx(10.0, 5.0, criterion="none", min_samples=0) == tree.kernel_density(10.0, 5.0)


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("metric", METRICS)
def test_of_equally_distant_points_the_first_found_stays(cls, metric):
    # One leaf, met in input order (the VP-tree's first rule keeps row 0 in
    # front and the equally distant others in order): rows 1 and 2 are found
    # before the other points at distance 1.
    x = np.array([[0.0], [1.0], [1.0], [-1.0], [1.0], [-1.0]])
    assert sorted(build(cls, x, 100, metric).query_knn([0.0], 3)) == [0, 1, 2]


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("scale", [-505, -400, 300, 500])
def test_knn_answers_do_not_change_when_the_data_is_scaled_by_a_power_of_two(cls, metric, scale):
    # Coordinates on a grid of 2^-5 and queries between its lines: every
    # coordinate difference is at least 2^-6, so every squared difference of
    # the scaled data stays a normal number and each distance scales exactly.
    rng = np.random.default_rng(5)
    x = rng.integers(0, 2**13, (500, 3)) / 32
    q = rng.integers(0, 2**13, (100, 3)) / 32 + 1 / 64
    tree = build(cls, x, 4, metric)
    scaled = build(cls, np.ldexp(x, scale), 4, metric)
    assert [scaled.query_knn(list(np.ldexp(p, scale)), 5) for p in q] == [tree.query_knn(list(p), 5) for p in q]
    dist, rows = tree.query_knn_batch(q, 5)
    scaled_dist, scaled_rows = scaled.query_knn_batch(np.ldexp(q, scale), 5)
    assert scaled_rows.tolist() == rows.tolist()
    assert np.array_equal(scaled_dist.to_numpy(), np.ldexp(dist.to_numpy(), scale))


@pytest.mark.parametrize("cls", TREES)
def test_degenerate_trees(cls):
    empty = cls.from_array(ts.zeros([0, 2]))
    assert empty.query_knn([0.0, 0.0], 3) == [] and empty.query_radius([0.0, 0.0], 1.0) == []
    assert empty.kernel_density().shape == [0] and empty.kernel_density([0.0, 0.0]) == 0.0
    flat = cls.from_array(ts.zeros([30, 0]), leaf_size=2)  # no dimension to split: one leaf
    assert sorted(flat.query_knn([], 40)) == list(range(30)) and len(flat.query_radius([], 0.0)) == 30
    one = cls.from_array(ts.Array([1, 2], [1.0, 2.0]))
    assert one.query_knn(ts.Array([1, 2], [0.0, 0.0]), 2**64 - 1) == [0]
    assert one.kernel_density() == 1.0  # a float for one point: its own contribution exp(0)


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("bandwidth", [0.0, -1.0, math.nan, -math.inf])
def test_bandwidth_must_be_positive(cls, bandwidth):
    tree = build(cls, dataset("tiny"), 1, "euclidean")
    for call in (lambda: tree.kernel_density([0.0, 0.0], bandwidth, "triangular"), lambda: tree.kernel_density(None, bandwidth),
                 lambda: tree.kernel_density_approx("not even read", bandwidth, criterion="min_samples", min_samples=1)):
        with pytest.raises(ValueError, match="^bandwidth must be a positive number$"):
            call()


@pytest.mark.parametrize("cls", TREES)
def test_tree_is_independent_of_its_source(cls):
    a = ts.Array.from_numpy(dataset("uniform"))
    tree = cls.from_array(a, 3)
    before = tree.query_knn([0.5, 0.5, 0.5], 5)
    for i in range(len(a) // 3):
        a[i, 0] = 0.5
    assert tree.query_knn([0.5, 0.5, 0.5], 5) == before


P = ts.PanicException
BAD_CALLS = [  # (call on the class and a 3-d tree, exception, message pattern)
    (lambda c, t: c.from_array(ts.zeros([3, 3]), metric="Cosine"), ValueError,
     r"Unknown distance metric 'Cosine'\. Valid options: 'euclidean', 'manhattan', 'chebyshev'$"),
    (lambda c, t: c.from_array(ts.zeros([3, 3]), metric=""), ValueError, r"Unknown distance metric ''\."),
    (lambda c, t: c.from_array(ts.zeros([3, 3]), 3, 5), TypeError,
     "argument 'metric': 'int' object cannot be converted to 'PyString'$"),
    (lambda c, t: c.from_array(ts.zeros([4])), P, r"Expected 2D array \(n_points, dim\)$"),
    (lambda c, t: c.from_array([[1.0]]), TypeError, "argument 'array': 'list' object cannot be cast as 'Array'$"),
    (lambda c, t: c(), TypeError, ""),
    (lambda c, t: t.query_knn("0.5", 1), ValueError, "query must be a scalar, list, or Array$"),
    (lambda c, t: t.query_knn("not even looked at", -1), OverflowError, ""),
    (lambda c, t: t.query_knn([0.5, 0.5], 1), P, "index out of bounds: the len is 2 but the index is 2$"),
    (lambda c, t: t.query_radius([0.5, 0.5], 1.0), P, "index out of bounds: the len is 2 but the index is 2$"),
    (lambda c, t: t.query_knn([0.5] * 4, 1), P, "index out of bounds: the len is 3 but the index is 3$"),
    (lambda c, t: t.kernel_density([1.0]), ValueError, "Query vector length 1 doesn't match tree dimension 3$"),
    (lambda c, t: t.kernel_density(ts.zeros([5, 2])), ValueError, "Query dimension 2 doesn't match tree dimension 3$"),
    (lambda c, t: t.kernel_density(ts.zeros([1, 1, 3])), ValueError, "queries must be 1D or 2D array$"),
    (lambda c, t: t.kernel_density([[0.0] * 3]), ValueError, "queries must be a scalar, list, or Array$"),
    (lambda c, t: t.kernel_density(0.5), P,
     "assertion `left == right` failed: Query dimension must match tree dimension\n  left: 1\n right: 3$"),
    (lambda c, t: t.kernel_density_approx(kernel="box", criterion="bogus"), ValueError, "Unknown kernel type 'box'"),
    (lambda c, t: t.kernel_density_approx(criterion="max_span"), ValueError,
     "max_span parameter required for 'max_span' criterion$"),
    (lambda c, t: t.kernel_density_approx(criterion="combined"), ValueError,
     "min_samples parameter required for 'combined' criterion$"),
    (lambda c, t: t.kernel_density_approx(criterion="Most"), ValueError,
     r"Unknown approximation criterion 'Most'\. Valid options: 'none', 'min_samples', 'max_span', 'combined'$"),
]


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("call, exc, pattern", BAD_CALLS)
def test_failures_and_their_messages(cls, call, exc, pattern):
    tree = build(cls, dataset("uniform"), 20, "euclidean")
    before = tree.__reduce__()
    with pytest.raises(exc, match="^" + pattern):
        call(cls, tree)
    assert tree.__reduce__() == before


@pytest.mark.parametrize("cls", CLASSES)
def test_names_are_read_without_case(cls):
    tree = cls.from_array(ts.Array.from_numpy(dataset("uniform")), None, "ChebySHEV")
    assert tree.query_knn([0.0, 0.0, 0.0], 2) == build(cls, dataset("uniform"), 20, "chebyshev").query_knn([0, 0, 0], 2)
    assert tree.kernel_density_approx([0.5] * 3, criterion="MIN_SAMPLES", min_samples=10 ** 9) == tree.kernel_density([0.5] * 3)
    assert tree.query_knn([0.5, 0.5, 0.5], 0) == []


def test_nan_coordinates_fail_the_split():
    x = dataset("uniform")
    x[7, :] = np.nan
    for cls in CLASSES[:2]:
        with pytest.raises(ts.PanicException, match=r"^called `Option::unwrap\(\)` on a `None` value$"):
            cls.from_array(ts.Array.from_numpy(x))
        small = cls.from_array(ts.Array.from_numpy(x[:10]), leaf_size=20)  # one leaf: no split
        assert len(small.query_knn([0.5] * 3, 3)) == 3
    # A VP-tree splits by distances, where NaN simply sorts last: the build succeeds.
    for selection in ("first", "random"):
        vp = ts.spatial.VPTree.from_array(ts.Array.from_numpy(x), 4, "euclidean", selection)
        assert len(vp.query_knn([0.5] * 3, 3)) == 3


# Data that breaks naive bounds: NaN rows and coordinates, infinities,
# coordinates whose differences or squares overflow, and ties.
DEGENERATE = {
    "nan_row": [[3.0], [1.0], [math.nan]],
    "nan_coordinate": [[0.0, 0.0], [1.0, 0.0], [0.2, math.nan]],
    "nan_coordinates": [[3.0, math.nan], [math.nan, 2.0], [3.0, 0.0]],
    "infinite": [[0.0, 0.0], [1.0, 0.0], [0.0, 1.0], [math.inf, 0.0]],
    "huge": [[0.0, 0.0], [1.0, 0.0], [0.0, 1.0], [1e308, 1e308]],
    "far_apart": [[0.0], [2e200], [3e200], [5e200]],
    "extremes": [[1.7e308], [0.0], [0.0], [-1e308], [-3.0], [1.6e308]],
    "ties": [[1.0, 1.0]] * 12 + [[2.0, 1.0]] * 5,
}


def degenerate_queries(x):
    special = [[math.nan] * x.shape[1], [math.inf] * x.shape[1], [-math.inf] + [0.0] * (x.shape[1] - 1),
               [-1.7e308] * x.shape[1], [2.5e200] * x.shape[1], [2.0] * x.shape[1]]
    return [list(row) for row in x] + special


@pytest.mark.parametrize("cls", TREES)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("name", DEGENERATE)
def test_degenerate_data_against_brute_force(cls, metric, name):
    x = np.array(DEGENERATE[name])
    rng = np.random.default_rng(len(name))
    noisy = np.vstack([x, rng.integers(-2, 3, (40, x.shape[1])).astype(float)])
    noisy[rng.random(noisy.shape) < 0.1] = math.nan
    for points in (x, noisy):
        for leaf_size in (1, 3):
            try:
                tree = build(cls, points, leaf_size, metric)
            except ts.PanicException:  # a NaN split coordinate fails the median split
                assert cls in CLASSES[:2]
                continue
            for q in degenerate_queries(x):
                q = np.array(q)
                for k in (1, 3, len(points)):
                    check_knn(tree.query_knn(q.tolist(), k), points, q, k, metric)
                d = distances(points, q, metric)
                for r in sorted({0.0, 1.7e308, math.inf, *d[np.isfinite(d)][:3].tolist()}):
                    answer = tree.query_radius(q.tolist(), r)
                    assert len(answer) == len(set(answer)) and set(answer) == radius_set(points, q, r, metric)
                for h, kernel_name in ((2.0, "epanechnikov"), (1e308, "gaussian")):
                    got = tree.kernel_density(q.tolist(), h, kernel_name)
                    low, high = density_bounds(points, q, h, kernel_name, metric)
                    if math.isnan(high):  # a NaN term, which the cut of a far node may leave out
                        high = math.fsum(np.nan_to_num(kernel(kernel_name, distances(points, q, metric) / h)))
                        assert math.isnan(got) or low <= got <= high * (1 + 1e-12)
                    else:
                        assert low * (1 - 1e-12) <= got <= high * (1 + 1e-12)


@pytest.mark.parametrize("cls", [ts.spatial.VPTree, RandomVPTree])
def test_vp_keeps_an_isolated_vantage_point(cls):
    x = np.concatenate([[[100.0]], np.linspace(0.0, 1.0, 40)[:, None]])  # row 0 stands alone
    tree = build(cls, x, 3, "euclidean")
    assert tree.query_radius([100.0], 0.5) == [0]
    assert tree.query_knn([100.0], 1) == [0]
    assert tree.kernel_density([100.0], 1.0) >= 1.0


@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("finite", [True, False])
def test_vp_shell_floors_keep_every_answer(metric, finite):
    # A grid full of ties: the ancestors' shells cut nodes early, and must
    # not cut one that holds an answer; with NaN and infinities they must
    # not cut at all.
    rng = np.random.default_rng(7)
    x = rng.integers(0, 6, (400, 3)).astype(float)
    queries = rng.integers(-1, 7, (60, 3)).astype(float).tolist()
    if not finite:
        x[rng.random((400, 3)) < 0.03] = np.nan
        x[rng.random((400, 3)) < 0.03] = np.inf
        queries += [[np.nan, 1.0, 2.0], [np.inf, 0.0, 3.0], [-np.inf, np.nan, 1.0]]
    tree = build(ts.spatial.VPTree, x, 4, metric)
    for q in queries:
        for k in (1, 6, 25):
            check_knn(tree.query_knn(q, k), x, np.array(q), k, metric)
        assert set(tree.query_radius(q, 1.5)) == radius_set(x, np.array(q), 1.5, metric)


def test_vp_selection_names():
    a = ts.Array.from_numpy(dataset("tiny"))
    assert ts.spatial.VPTree.from_array(a, selection="RANDOM").query_knn([0.0, 0.0], 3) != []
    with pytest.raises(ValueError, match=r"^Unknown vantage point selection method 'last'\. Valid options: 'first', 'random'$"):
        ts.spatial.VPTree.from_array(a, selection="last")
    assert not hasattr(ts, "VPTree") and ts.spatial.__all__ == ["BallTree", "KDTree", "VPTree"]


@pytest.mark.parametrize("build", TREES, ids=lambda b: b.__name__)
def test_large_trees_with_ties_answer_truly_and_reload(build):
    # Past 65,536 points the top splits run in place; many equal
    # coordinates (zeros of both signs among them) test their stable order.
    rng = np.random.default_rng(8)
    x = np.round(rng.random((70_000, 2)) * 30) / 30
    x[rng.random(x.shape) < 0.05] = -0.0
    tree = build.from_array(ts.Array.from_numpy(x), 16)
    again = pickle.loads(pickle.dumps(tree))  # loading checks every node against its points
    q = rng.random((30, 2))
    rows = np.asarray(tree.query_knn_batch(q, 12)[1])
    assert np.array_equal(np.asarray(again.query_knn_batch(q, 12)[1]), rows)
    for i in range(len(q)):
        check_knn(rows[i].tolist(), x, q[i], 12, "euclidean")
        assert set(tree.query_radius(q[i].tolist(), 0.05)) == radius_set(x, q[i], 0.05, "euclidean")
