"""Benchmarks: tessaron against its peers on the same data, in one run.

Usage: OPENBLAS_NUM_THREADS=1 python bench/run.py [--only NAME] [--repeat N] [--json FILE] [--plot FILE]

Run NumPy's BLAS single-threaded, as tessaron is. Where OPENBLAS_CORETYPE
or OPENBLAS_L2_SIZE are set on the machine, unset both for the benchmark
command only (they slow current OpenBLAS); the header names the kernel used.

Each case times our call and the peer's call on the same input and prints
the ratio ours/peer (below 1.0: tessaron is faster). Machines are noisy:
the best of several repeats is used, and ratios are indicative only.
With --json FILE the measurements are also written to FILE (case ->
{"ours_s", "peer_s", "ratio"}, plus the versions), so that a later change
can be compared with this one. With --plot FILE the ratios are drawn as a
bar chart (needs matplotlib).
"""
import argparse
import json
import platform
import os
import sys
import timeit

import numpy as np

import tessaron as ts

CASES = []


def case(name):
    def register(fn):
        CASES.append((name, fn))
        return fn
    return register


@case("asarray_list_1e6")
def _():
    data = np.random.default_rng(0).random(1_000_000).tolist()
    return (lambda: ts.asarray(data)), (lambda: np.array(data))


@case("tolist_1e6")
def _():
    x = np.random.default_rng(0).random(1_000_000)
    a = ts.Array.from_numpy(x)
    return a.tolist, x.tolist


@case("asarray_view_1e7_vs_asarray_of_a_memoryview")
def _():
    # np.asarray(a) shares the Array's memory: a new ndarray over foreign
    # memory, as np.asarray makes of a memoryview (of an ndarray it returns
    # the same object, which no view can match).
    x = np.random.default_rng(0).random(10_000_000)
    a, m = ts.Array.from_numpy(x), memoryview(x)
    return (lambda: np.asarray(a)), (lambda: np.asarray(m))


@case("zeros_1000x1000")
def _():
    return (lambda: ts.zeros([1000, 1000])), (lambda: np.zeros((1000, 1000)))


@case("repr_100x100")
def _():
    x = np.random.default_rng(0).random((100, 100))
    a = ts.Array.from_numpy(x)
    return (lambda: repr(a)), (lambda: np.array2string(x, threshold=sys.maxsize))


@case("construct_4")
def _():
    return (lambda: ts.Array([4], [1.0, 2.0, 3.0, 4.0])), (lambda: np.array([1.0, 2.0, 3.0, 4.0]))


def pair(n, seed=0, shape_b=None):
    rng = np.random.default_rng(seed)
    x = rng.random(n) + 0.5
    y = rng.random(n if shape_b is None else shape_b) + 0.5
    return x, y, ts.Array.from_numpy(x), ts.Array.from_numpy(y)


@case("add_1e6")
def _():
    x, y, a, b = pair(1_000_000)
    return (lambda: a + b), (lambda: x + y)


@case("mul_scalar_1e6")
def _():
    x, _, a, _ = pair(1_000_000)
    return (lambda: a * 2.0), (lambda: x * 2.0)


@case("add_broadcast_1000x1000_1000")
def _():
    x, y, _, _ = pair(1_000_000, shape_b=1000)
    x = x.reshape(1000, 1000)
    a, b = ts.Array.from_numpy(x), ts.Array.from_numpy(y)
    return (lambda: a + b), (lambda: x + y)


@case("add_4")
def _():
    x, y, a, b = pair(4)
    return (lambda: a + b), (lambda: x + y)


def square(n, seed=0):
    x = np.random.default_rng(seed).standard_normal((n, n))
    return x, ts.Array.from_numpy(x)


@case("matmul_256")
def _():
    (x, a), (y, b) = square(256, 1), square(256, 2)
    return (lambda: a @ b), (lambda: x @ y)


@case("matmul_512")
def _():
    (x, a), (y, b) = square(512, 1), square(512, 2)
    return (lambda: a @ b), (lambda: x @ y)


def vec(n, seed=0, positive=False):
    x = np.random.default_rng(seed).standard_normal(n)
    if positive:
        x = np.abs(x)
    return x, ts.Array.from_numpy(x)


@case("exp_1e6")
def _():
    x, a = vec(1_000_000)
    return a.exp, (lambda: np.exp(x))


@case("sqrt_1e6")
def _():
    x, a = vec(1_000_000, positive=True)
    return a.sqrt, (lambda: np.sqrt(x))


@case("sum_1e6")
def _():
    x, a = vec(1_000_000)
    return a.sum, x.sum


@case("sum_1e6_vs_plain_c_loop")
def _():
    x, a = vec(1_000_000)
    c_sum = plain_c_sum()
    if c_sum is None:
        return None
    ptr, n = x.ctypes.data, x.size
    return a.sum, (lambda: c_sum(ptr, n))


@case("mean_1e6")
def _():
    x, a = vec(1_000_000)
    return a.mean, x.mean


@case("var_1e6")
def _():
    x, a = vec(1_000_000)
    return a.var, x.var


@case("median_1e6")
def _():
    x, a = vec(1_000_000)
    return a.median, (lambda: np.median(x))


@case("quantile_0.3_1e6")
def _():
    x, a = vec(1_000_000)
    return (lambda: a.quantile(0.3)), (lambda: np.quantile(x, 0.3))


@case("getitem_1d_scalar")
def _():
    x, a = vec(1000)
    return (lambda: a[500]), (lambda: x[500])


@case("getitem_2d_scalar")
def _():
    x, a = square(100)
    return (lambda: a[50, 7]), (lambda: x[50, 7])


@case("getitem_row_1000x1000_vs_view")
def _():
    x, a = square(1000)
    return (lambda: a[500]), (lambda: x[500])


@case("getitem_row_1000x1000_vs_copy")
def _():
    x, a = square(1000)
    return (lambda: a[500]), (lambda: x[500].copy())


@case("slice_step3_1e6_vs_view")
def _():
    x, a = vec(1_000_000)
    return (lambda: a[::3]), (lambda: x[::3])


@case("slice_step3_1e6_vs_copy")
def _():
    x, a = vec(1_000_000)
    return (lambda: a[::3]), (lambda: x[::3].copy())


@case("take_1e5_from_list")
def _():
    x, a = vec(1_000_000)
    idx = np.random.default_rng(1).integers(0, 1_000_000, 100_000).tolist()
    return (lambda: a.take(idx)), (lambda: x.take(idx))


@case("contains_1e6")
def _():
    x, a = vec(1_000_000)
    return (lambda: 7.0 in a), (lambda: 7.0 in x)


def generators():
    return ts.random.seed(1), np.random.default_rng(1)


@case("random_uniform_1e6")
def _():
    g, r = generators()
    return (lambda: g.uniform(0.0, 1.0, [1_000_000])), (lambda: r.uniform(0.0, 1.0, 1_000_000))


@case("random_normal_1e6")
def _():
    g, r = generators()
    return (lambda: g.normal(0.0, 1.0, [1_000_000])), (lambda: r.normal(0.0, 1.0, 1_000_000))


@case("random_gamma2_1e6")
def _():
    g, r = generators()
    return (lambda: g.gamma(2.0, 1.0, [1_000_000])), (lambda: r.gamma(2.0, 1.0, 1_000_000))


@case("random_beta23_1e6")
def _():
    g, r = generators()
    return (lambda: g.beta(2.0, 3.0, [1_000_000])), (lambda: r.beta(2.0, 3.0, 1_000_000))


@case("random_randint_1e6")
def _():
    g, r = generators()
    return (lambda: g.randint(0, 1000, [1_000_000])), (lambda: r.integers(0, 1000, 1_000_000))


def correlated(n, seed=0):
    rng = np.random.default_rng(seed)
    x = rng.random(n)
    y = x + rng.random(n)
    return x, y, ts.Array.from_numpy(x), ts.Array.from_numpy(y)


@case("pearson_1e6_vs_scipy")
def _():
    from scipy import stats
    x, y, a, b = correlated(1_000_000)
    return (lambda: ts.stats.pearson(a, b)), (lambda: stats.pearsonr(x, y))


@case("spearman_1e6_vs_scipy")
def _():
    from scipy import stats
    x, y, a, b = correlated(1_000_000)
    return (lambda: ts.stats.spearman(a, b)), (lambda: stats.spearmanr(x, y))


def spd(n, seed=0):
    x = np.random.default_rng(seed).standard_normal((n, n))
    x = x @ x.T + n * np.eye(n)
    return x, ts.Array.from_numpy(x)


@case("cholesky_256")
def _():
    x, a = spd(256)
    return (lambda: ts.linalg.cholesky(a)), (lambda: np.linalg.cholesky(x))


@case("qr_128")
def _():
    x, a = square(128)
    return (lambda: ts.linalg.qr(a)), (lambda: np.linalg.qr(x, mode="complete"))


@case("eig_symmetric_64_vs_eigh")
def _():
    x, a = spd(64)
    return (lambda: ts.linalg.eig(a)), (lambda: np.linalg.eigh(x))


@case("eig_one_qr_step_64")
def _():
    x, a = spd(64)

    def numpy_step():
        q, r = np.linalg.qr(x, mode="complete")
        return r @ q, np.eye(64) @ q
    return (lambda: ts.linalg.eig_with_params(a, 1, 0.0)), numpy_step


# Spatial trees: 1e5 x 3 uniform points, leaf size 16 everywhere. pykdtree is
# no dependency of ours: its cases are skipped when it is not installed.
def cloud(n=100_000, d=3, seed=0):
    x = np.random.default_rng(seed).random((n, d))
    return x, ts.Array.from_numpy(x)


def query_points(n=10_000, d=3):
    q = np.random.default_rng(1).random((n, d))
    return q, q.tolist()


def pykdtree_class():
    try:
        from pykdtree.kdtree import KDTree
    except ImportError:
        return None
    return KDTree


@case("stats_mean_of_an_ndarray_1e6_vs_of_its_array")
def _():
    # An ndarray where an Array is taken: read into an Array of its own first.
    x = np.random.default_rng(0).random(1_000_000)
    a = ts.Array.from_numpy(x)
    return (lambda: ts.stats.mean(x)), (lambda: ts.stats.mean(a))


@case("kdtree_build_from_ndarray_1e6x3_vs_from_numpy_then_build")
def _():
    # One copy (the tree's) instead of two (Array.from_numpy's, then the tree's).
    x = np.random.default_rng(0).random((1_000_000, 3))
    return (lambda: ts.spatial.KDTree.from_array(x, 16)), (lambda: ts.spatial.KDTree.from_array(ts.Array.from_numpy(x), 16))


@case("kdtree_build_1e5x3_vs_pykdtree")
def _():
    peer = pykdtree_class()
    if peer is None:
        return None
    x, a = cloud()
    return (lambda: ts.spatial.KDTree.from_array(a, 16)), (lambda: peer(x, leafsize=16))


@case("kdtree_build_1e5x3_vs_ckdtree")
def _():
    from scipy.spatial import cKDTree
    x, a = cloud()
    return (lambda: ts.spatial.KDTree.from_array(a, 16)), (lambda: cKDTree(x, leafsize=16))


@case("kdtree_knn10_loop_1e4_vs_pykdtree")
def _():
    peer = pykdtree_class()
    if peer is None:
        return None
    x, a = cloud()
    ours, theirs = ts.spatial.KDTree.from_array(a, 16), peer(x, leafsize=16)
    q, ql = query_points()
    rows = [p.reshape(1, 3) for p in q]
    return (lambda: [ours.query_knn(p, 10) for p in ql]), (lambda: [theirs.query(p, k=10) for p in rows])


@case("kdtree_knn10_loop_1e4_vs_ckdtree")
def _():
    from scipy.spatial import cKDTree
    x, a = cloud()
    ours, theirs = ts.spatial.KDTree.from_array(a, 16), cKDTree(x, leafsize=16)
    q, ql = query_points()
    return (lambda: [ours.query_knn(p, 10) for p in ql]), (lambda: [theirs.query(p, k=10) for p in q])


@case("kdtree_radius_loop_1e4_vs_ckdtree")
def _():
    from scipy.spatial import cKDTree
    x, a = cloud()
    ours, theirs = ts.spatial.KDTree.from_array(a, 16), cKDTree(x, leafsize=16)
    q, ql = query_points()
    r = (10 / len(x) / (4 / 3 * np.pi)) ** (1 / 3)  # about 10 points per answer
    return (lambda: [ours.query_radius(p, r) for p in ql]), (lambda: [theirs.query_ball_point(p, r) for p in q])


@case("balltree_build_1e5x3_vs_sklearn")
def _():
    from sklearn.neighbors import BallTree
    x, a = cloud()
    return (lambda: ts.spatial.BallTree.from_array(a, 16)), (lambda: BallTree(x, leaf_size=16))


@case("balltree_knn10_loop_1e4_vs_sklearn")
def _():
    from sklearn.neighbors import BallTree
    x, a = cloud()
    ours, theirs = ts.spatial.BallTree.from_array(a, 16), BallTree(x, leaf_size=16)
    q, ql = query_points()
    rows = [p.reshape(1, 3) for p in q]
    return (lambda: [ours.query_knn(p, 10) for p in ql]), (lambda: [theirs.query(p, k=10) for p in rows])


def vptree_cases(n, d):
    """VP-tree build and k-nearest loop beside our KD-tree and cKDTree, on n x d points."""
    def build(peer_name):
        def make():
            from scipy.spatial import cKDTree
            x, a = cloud(n, d)
            peer = {"kdtree": lambda: ts.spatial.KDTree.from_array(a, 16),
                    "ckdtree": lambda: cKDTree(x, leafsize=16)}[peer_name]
            return (lambda: ts.spatial.VPTree.from_array(a, 16)), peer
        return make

    def loop(peer_name):
        def make():
            from scipy.spatial import cKDTree
            x, a = cloud(n, d)
            q, ql = query_points(10_000, d)
            ours = ts.spatial.VPTree.from_array(a, 16)
            if peer_name == "kdtree":
                kd = ts.spatial.KDTree.from_array(a, 16)
                return (lambda: [ours.query_knn(p, 10) for p in ql]), (lambda: [kd.query_knn(p, 10) for p in ql])
            ck = cKDTree(x, leafsize=16)
            return (lambda: [ours.query_knn(p, 10) for p in ql]), (lambda: [ck.query(p, k=10) for p in q])
        return make

    for peer_name in ("kdtree", "ckdtree"):
        case(f"vptree_build_{n:.0e}x{d}_vs_{peer_name}".replace("+0", ""))(build(peer_name))
        case(f"vptree_knn10_loop_1e4_{n:.0e}x{d}_vs_{peer_name}".replace("+0", ""))(loop(peer_name))


vptree_cases(100_000, 3)
vptree_cases(10_000, 16)


@case("kde_gaussian_exact_1e3_over_1e4_vs_sklearn")
def _():
    from sklearn.neighbors import KernelDensity
    x, a = cloud(10_000)
    q, _ = query_points(1_000)
    h = 0.1
    ours = ts.spatial.KDTree.from_array(a, 16)
    theirs = KernelDensity(bandwidth=h, kernel="gaussian", rtol=0, atol=0, leaf_size=16).fit(x)
    qa = ts.Array.from_numpy(q)
    return (lambda: ours.kernel_density(qa, h, "gaussian")), (lambda: theirs.score_samples(q))


# Batch queries: 2e5 queries on 1e6 x 3 uniform points, k = 10, as one call
# each. "workers-1": every core for us and the peer (cKDTree workers=-1,
# pykdtree's OpenMP default of one thread per core); "workers1": one thread
# each (pykdtree limited through threadpoolctl, skipped without it).
_BIG = {}


def big_trees():
    if not _BIG:
        from scipy.spatial import cKDTree
        x, a = cloud(1_000_000)
        q, _ = query_points(200_000)
        _BIG.update(x=x, q=q, ours=ts.spatial.KDTree.from_array(a, 16), ckd=cKDTree(x, leafsize=16))
    return _BIG


def openmp_limit(threads):
    try:
        from threadpoolctl import threadpool_limits
    except ImportError:
        return None
    return threadpool_limits(threads, user_api="openmp")


@case("kdtree_knn10_batch_2e5_over_1e6_workers-1_vs_ckdtree_workers-1")
def _():
    b = big_trees()
    return (lambda: b["ours"].query_knn_batch(b["q"], 10, workers=-1)), (lambda: b["ckd"].query(b["q"], 10, workers=-1))


@case("kdtree_knn10_batch_2e5_over_1e6_workers-1_vs_pykdtree_all_cores")
def _():
    peer = pykdtree_class()
    if peer is None:
        return None
    b = big_trees()
    theirs = peer(b["x"], leafsize=16)
    return (lambda: b["ours"].query_knn_batch(b["q"], 10, workers=-1)), (lambda: theirs.query(b["q"], k=10))


@case("kdtree_knn10_batch_2e5_over_1e6_workers1_vs_pykdtree_1_thread")
def _():
    peer = pykdtree_class()
    if peer is None or openmp_limit(1) is None:
        return None
    b = big_trees()
    theirs = peer(b["x"], leafsize=16)

    def one_thread():
        with openmp_limit(1):
            return theirs.query(b["q"], k=10)
    return (lambda: b["ours"].query_knn_batch(b["q"], 10, workers=1)), one_thread


@case("kdtree_knn10_batch_2e5_over_1e6_workers2_vs_workers1")
def _():
    b = big_trees()
    return (lambda: b["ours"].query_knn_batch(b["q"], 10, workers=2)), (lambda: b["ours"].query_knn_batch(b["q"], 10))


@case("kdtree_radius_batch_2e5_over_1e6_workers-1_vs_ckdtree_workers-1")
def _():
    b = big_trees()
    r = (10 / len(b["x"]) / (4 / 3 * np.pi)) ** (1 / 3)  # about 10 points per answer
    return ((lambda: b["ours"].query_radius_batch(b["q"], r, workers=-1)),
            (lambda: b["ckd"].query_ball_point(b["q"], r, workers=-1)))


@case("balltree_knn10_batch_2e4_over_1e5_workers-1_vs_sklearn")
def _():
    from sklearn.neighbors import BallTree
    x, a = cloud()
    ours, theirs = ts.spatial.BallTree.from_array(a, 16), BallTree(x, leaf_size=16)
    q, _ = query_points(20_000)
    return (lambda: ours.query_knn_batch(q, 10, workers=-1)), (lambda: theirs.query(q, k=10))


@case("kde_gaussian_exact_batch_2e3_over_1e5_workers-1_vs_sklearn")
def _():
    from sklearn.neighbors import KernelDensity
    x, a = cloud()
    q, _ = query_points(2_000)
    h = 0.1
    ours = ts.spatial.KDTree.from_array(a, 16)
    theirs = KernelDensity(bandwidth=h, kernel="gaussian", rtol=0, atol=0, leaf_size=16).fit(x)
    return (lambda: ours.kernel_density_batch(q, h, workers=-1)), (lambda: theirs.score_samples(q))


# The peers' query repertoire. cKDTree's query_pairs and sparse_distance_matrix
# run on one thread (they have no workers); ours are timed on every core
# ("workers-1") and, where the peer has one thread only, also on one.
def radius_for(pairs_per_point, n):
    """The radius within which a uniform point of the unit cube has about that many of n others."""
    return (pairs_per_point / n / (4 / 3 * np.pi)) ** (1 / 3)


def two_sets():
    """Two 1e5 x 3 uniform sets: (x, y, our two KD-trees, cKDTree's two)."""
    from scipy.spatial import cKDTree
    x, a = cloud()
    y, b = cloud(seed=1)
    return (x, y, ts.spatial.KDTree.from_array(a, 16), ts.spatial.KDTree.from_array(b, 16),
            cKDTree(x, leafsize=16), cKDTree(y, leafsize=16))


@case("count_neighbors_1e5_vs_1e5_20_radii_vs_ckdtree")
def _():
    _, _, ours, other, theirs, their_other = two_sets()
    radii = np.logspace(-3, -0.5, 20)
    return (lambda: ours.count_neighbors(other, radii)), (lambda: theirs.count_neighbors(their_other, radii))


@case("count_neighbors_1e5_vs_1e5_20_radii_workers-1_vs_ckdtree")
def _():
    _, _, ours, other, theirs, their_other = two_sets()
    radii = np.logspace(-3, -0.5, 20)
    return ((lambda: ours.count_neighbors(other, radii, workers=-1)),
            (lambda: theirs.count_neighbors(their_other, radii)))


@case("count_neighbors_1e5_vs_1e5_20_radii_workers-1_vs_sklearn_two_point_dualtree")
def _():
    from sklearn.neighbors import KDTree
    x, y, ours, other, _, _ = two_sets()
    theirs = KDTree(x, leaf_size=16)
    radii = np.logspace(-3, -0.5, 20)
    return ((lambda: ours.count_neighbors(other, radii, workers=-1)),
            (lambda: theirs.two_point_correlation(y, radii, dualtree=True)))


@case("query_pairs_1e6_10_per_point_vs_ckdtree_ndarray")
def _():
    b = big_trees()
    r = radius_for(20, len(b["x"]))  # 20 neighbours each: 10 pairs per point
    return (lambda: b["ours"].query_pairs(r)), (lambda: b["ckd"].query_pairs(r, output_type="ndarray"))


@case("query_pairs_1e6_10_per_point_workers-1_vs_ckdtree_ndarray")
def _():
    b = big_trees()
    r = radius_for(20, len(b["x"]))
    return (lambda: b["ours"].query_pairs(r, workers=-1)), (lambda: b["ckd"].query_pairs(r, output_type="ndarray"))


@case("sparse_distance_matrix_1e5_vs_1e5_10_per_row_vs_ckdtree_coo")
def _():
    _, y, ours, other, theirs, their_other = two_sets()
    r = radius_for(10, len(y))
    return ((lambda: ours.sparse_distance_matrix(other, r)),
            (lambda: theirs.sparse_distance_matrix(their_other, r, output_type="coo_matrix")))


@case("sparse_distance_matrix_1e5_vs_1e5_10_per_row_workers-1_vs_ckdtree_coo")
def _():
    _, y, ours, other, theirs, their_other = two_sets()
    r = radius_for(10, len(y))
    return ((lambda: ours.sparse_distance_matrix(other, r, workers=-1)),
            (lambda: theirs.sparse_distance_matrix(their_other, r, output_type="coo_matrix")))


@case("radius_flat_distances_1e5_over_1e6_100_each_workers-1_vs_ckdtree_workers-1")
def _():
    b = big_trees()
    q, r = b["q"][:100_000], radius_for(100, len(b["x"]))
    return ((lambda: b["ours"].query_radius_batch(q, r, workers=-1, return_distance=True, flat=True)),
            (lambda: b["ckd"].query_ball_point(q, r, workers=-1)))


@case("radius_flat_distances_1e5_over_1e6_100_each_workers-1_vs_sklearn_query_radius")
def _():
    from sklearn.neighbors import KDTree
    b = big_trees()
    theirs = KDTree(b["x"], leaf_size=16)
    q, r = b["q"][:100_000], radius_for(100, len(b["x"]))
    return ((lambda: b["ours"].query_radius_batch(q, r, workers=-1, return_distance=True, flat=True)),
            (lambda: theirs.query_radius(q, r, return_distance=True)))


@case("radius_count_only_1e5_over_1e6_100_each_workers-1_vs_ckdtree_return_length")
def _():
    b = big_trees()
    q, r = b["q"][:100_000], radius_for(100, len(b["x"]))
    return ((lambda: b["ours"].query_radius_batch(q, r, workers=-1, count_only=True)),
            (lambda: b["ckd"].query_ball_point(q, r, workers=-1, return_length=True)))


@case("knn_graph_1e6_k10_workers-1_vs_ckdtree_query_k11_workers-1")
def _():
    b = big_trees()
    return (lambda: b["ours"].query_knn_batch(None, 10, workers=-1)), (lambda: b["ckd"].query(b["x"], 11, workers=-1))


# Metrics with parameters: Minkowski p = 3 on the big trees' points.
@case("minkowski_p3_knn10_batch_2e5_over_1e6_workers-1_vs_ckdtree_p3_workers-1")
def _():
    b = big_trees()
    ours = ts.spatial.KDTree.from_array(b["x"], 16, metric=ts.spatial.Metric("minkowski", p=3))
    return ((lambda: ours.query_knn_batch(b["q"], 10, workers=-1)),
            (lambda: b["ckd"].query(b["q"], 10, p=3, workers=-1)))


@case("haversine_balltree_knn10_1e5_over_1e6_on_the_sphere_workers-1_vs_sklearn_balltree_haversine")
def _():
    from sklearn.neighbors import BallTree
    rng = np.random.default_rng(5)

    def sphere(n):
        return np.column_stack([np.arcsin(rng.uniform(-1, 1, n)), rng.uniform(-np.pi, np.pi, n)])
    x, q = sphere(1_000_000), sphere(100_000)
    ours = ts.spatial.BallTree.from_array(x, 40, metric=ts.spatial.Metric("haversine"))
    theirs = BallTree(x, leaf_size=40, metric="haversine")
    return (lambda: ours.query_knn_batch(q, 10, workers=-1)), (lambda: theirs.query(q, 10))


# A periodic unit box (cKDTree's boxsize=1) on the big trees' points and
# on the two 1e5 sets.
@case("periodic_knn10_batch_2e5_over_1e6_unit_box_workers-1_vs_ckdtree_boxsize1_workers-1")
def _():
    from scipy.spatial import cKDTree
    b = big_trees()
    ours = ts.spatial.KDTree.from_array(b["x"], 16, metric=ts.spatial.Metric("euclidean", period=1.0))
    theirs = cKDTree(b["x"], leafsize=16, boxsize=1.0)
    return ((lambda: ours.query_knn_batch(b["q"], 10, workers=-1)),
            (lambda: theirs.query(b["q"], 10, workers=-1)))


@case("periodic_count_neighbors_1e5_vs_1e5_20_radii_workers-1_vs_ckdtree_boxsize1")
def _():
    from scipy.spatial import cKDTree
    x, y, _, _, _, _ = two_sets()
    periodic = ts.spatial.Metric("euclidean", period=1.0)
    ours, other = (ts.spatial.KDTree.from_array(v, 16, metric=periodic) for v in (x, y))
    theirs, their_other = (cKDTree(v, leafsize=16, boxsize=1.0) for v in (x, y))
    radii = np.logspace(-3, -0.5, 20)
    return ((lambda: ours.count_neighbors(other, radii, workers=-1)),
            (lambda: theirs.count_neighbors(their_other, radii)))


# KernelDensity against scikit-learn's: 1e5 points of 3 coordinates in 20
# clusters, 1e4 queries from the same clusters, bandwidth 0.1; scikit-learn
# has one thread, and so have we (the default workers=1).
_kde = {}


def kde_data():
    if not _kde:
        rng = np.random.default_rng(11)
        centres = rng.random((20, 3))

        def draw(n):
            return centres[rng.integers(0, 20, n)] + rng.normal(scale=0.05, size=(n, 3))
        _kde.update(x=draw(100_000), q=draw(10_000))
    return _kde["x"], _kde["q"]


def kde_case(kernel, rtol=0.0):
    from sklearn.neighbors import KernelDensity
    x, q = kde_data()
    ours = ts.spatial.KernelDensity(bandwidth=0.1, kernel=kernel, rtol=rtol).fit(x)
    theirs = KernelDensity(bandwidth=0.1, kernel=kernel, rtol=rtol).fit(x)
    return (lambda: ours.score_samples(q)), (lambda: theirs.score_samples(q))


for _kernel in ["gaussian", "tophat", "epanechnikov", "exponential", "linear", "cosine"]:
    case(f"kde_{_kernel}_exact_1e4_over_1e5_clustered_h0.1_vs_sklearn_kernel_density")(
        lambda kernel=_kernel: kde_case(kernel))


@case("kde_gaussian_rtol1e-4_1e4_over_1e5_clustered_h0.1_vs_sklearn_kernel_density_rtol1e-4")
def _():
    return kde_case("gaussian", 1e-4)


@case("kde_fit_1e5_clustered_vs_sklearn_kernel_density_fit")
def _():
    from sklearn.neighbors import KernelDensity
    x, _ = kde_data()
    ours, theirs = ts.spatial.KernelDensity(bandwidth=0.1), KernelDensity(bandwidth=0.1)
    return (lambda: ours.fit(x)), (lambda: theirs.fit(x))


def plain_c_sum():
    """A sequential C sum loop compiled on the spot (None without a compiler)."""
    import ctypes
    import subprocess
    import tempfile
    src = "double seq_sum(const double* x, long n) { double s = -0.0; " \
          "for (long i = 0; i < n; ++i) s += x[i]; return s; }"
    folder = tempfile.mkdtemp()
    try:
        with open(f"{folder}/s.c", "w") as f:
            f.write(src)
        subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", f"{folder}/s.so", f"{folder}/s.c"],
                       check=True, capture_output=True)
    except (OSError, subprocess.CalledProcessError):
        return None
    fn = ctypes.CDLL(f"{folder}/s.so").seq_sum
    fn.restype, fn.argtypes = ctypes.c_double, [ctypes.c_void_p, ctypes.c_long]
    return fn


def blas_kernel():
    try:
        from threadpoolctl import threadpool_info
    except ImportError:
        return "threadpoolctl not installed"
    return "; ".join(f"{i.get('internal_api')} {i.get('architecture')} threads={i.get('num_threads')}"
                     for i in threadpool_info() if i.get("user_api") == "blas")


def best_time(fn, repeat):
    timer = timeit.Timer(fn)
    number, _ = timer.autorange()
    return min(timer.repeat(repeat=repeat, number=number)) / number


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", help="run only the cases whose name contains this text")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--json", metavar="FILE", help="also write the measurements to FILE")
    parser.add_argument("--plot", metavar="FILE", help="also draw the ratios as a bar chart into FILE")
    args = parser.parse_args()
    header = (f"numpy {np.__version__}; OPENBLAS_NUM_THREADS={os.environ.get('OPENBLAS_NUM_THREADS', 'unset')}; "
              f"BLAS: {blas_kernel()}")
    print(header)
    record = {"python": platform.python_version(), "machine": platform.machine(), "setup": header,
              "cases": {}}
    width = max(len(name) for name, _ in CASES) + 2
    print(f"{'case':<{width}}{'tessaron':>14}{'peer':>14}{'ratio':>8}")
    for name, make in CASES:
        if args.only and args.only not in name:
            continue
        made = make()
        if made is None:
            print(f"{name:<{width}}skipped")
            continue
        ours, peer = made
        t_ours, t_peer = best_time(ours, args.repeat), best_time(peer, args.repeat)
        print(f"{name:<{width}}{t_ours * 1e6:>12.2f}us{t_peer * 1e6:>12.2f}us{t_ours / t_peer:>8.2f}")
        record["cases"][name] = {"ours_s": t_ours, "peer_s": t_peer, "ratio": t_ours / t_peer}
    if args.json:
        with open(args.json, "w") as f:
            json.dump(record, f, indent=1)
    if args.plot:
        plot(record, args.plot)


def plot(record, path):
    """Horizontal bars of ours/peer time per case, on a log scale (below 1: tessaron is faster)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    names = list(record["cases"])
    ratios = [record["cases"][n]["ratio"] for n in names]
    fig, ax = plt.subplots(figsize=(8, 0.26 * len(names) + 1.2))
    colours = ["#55a868" if r <= 1.0 else "#c44e52" for r in ratios]
    ax.barh(names, [r - 1.0 for r in ratios], left=1.0, color=colours)  # bars grow from 1
    ax.axvline(1.0, color="black", linewidth=0.8)
    ax.set_xscale("log")
    ax.invert_yaxis()
    ax.tick_params(axis="y", labelsize=7)
    ax.set_xlabel("tessaron time / peer time (log scale; below 1 is faster)")
    fig.tight_layout()
    fig.savefig(path, dpi=110, bbox_inches="tight")  # the long case names included
    print("chart written to", path)


if __name__ == "__main__":
    main()
