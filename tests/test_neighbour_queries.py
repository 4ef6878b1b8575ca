"""The peers' query repertoire on every tree: radius answers with distances,
order, counts and compressed rows, one radius per query, and k-nearest
bounded by a distance; against brute force and cKDTree."""
import numpy as np
import pytest

try:
    from scipy.spatial import cKDTree
except ImportError:  # a SciPy for another interpreter build: the brute-force tests still run
    cKDTree = None

import tessaron as ts
from conftest import TREE_BUILDS, TREE_CLASSES
from spatial_reference import distances

METRICS = ["euclidean", "manhattan", "chebyshev"]
P_OF = {"euclidean": 2, "manhattan": 1, "chebyshev": np.inf}


def points(n=300, dim=3, seed=0):
    rng = np.random.default_rng(seed)
    x = rng.integers(0, 6, (n, dim)).astype(float)  # duplicates and ties
    x[: n // 2] += rng.random((n // 2, dim))
    return x


def queries(count=40, dim=3, seed=1, nan_row=True):
    q = np.random.default_rng(seed).random((count, dim)) * 7 - 0.5
    if nan_row:
        q[5, 1] = np.nan  # NaN distances are never within a radius or bound
    return q


def tree_of(cls, x, metric="euclidean", leaf_size=4):
    return cls.from_array(x, leaf_size, metric)


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("workers", [1, 2])
def test_radius_answers_in_every_form_are_brute_force(cls, metric, workers):
    x, q = points(), queries()
    tree = tree_of(cls, x, metric)
    radii = np.random.default_rng(2).random(len(q)) * 2.5
    radii[3] = 0.0
    rows = tree.query_radius_batch(q, radii, workers=workers)
    listed, dists = tree.query_radius_batch(q, radii, workers=workers, return_distance=True)
    ordered, ordered_d = tree.query_radius_batch(q, radii, workers=workers, return_distance=True,
                                                 sort_results=True)
    offsets, flat_rows, flat_d = tree.query_radius_batch(q, radii, workers=workers, return_distance=True,
                                                         sort_results=True, flat=True)
    counts = np.asarray(tree.query_radius_batch(q, radii, workers=workers, count_only=True))
    offsets, flat_rows, flat_d = np.asarray(offsets), np.asarray(flat_rows), np.asarray(flat_d)
    assert offsets[0] == 0 and np.array_equal(np.diff(offsets), counts)
    for i in range(len(q)):
        d = distances(x, q[i], metric)
        expected = sorted((d[j], j) for j in np.nonzero(d <= radii[i])[0])
        assert rows[i] == listed[i] == tree.query_radius(q[i].tolist(), radii[i])  # walk order, unchanged
        assert sorted(zip(dists[i].tolist(), listed[i])) == expected  # the same distances, bit for bit
        assert list(zip(ordered_d[i].tolist(), ordered[i])) == expected
        part = slice(offsets[i], offsets[i + 1])
        assert list(zip(flat_d[part].tolist(), flat_rows[part].tolist())) == expected
    assert flat_rows.dtype == np.int64 and counts.dtype == np.int64


needs_ckdtree = pytest.mark.skipif(cKDTree is None, reason="SciPy is not importable here")


@needs_ckdtree
@pytest.mark.parametrize("metric", METRICS)
def test_radius_answers_match_ckdtree(metric):
    x, q = points(2000), queries(300, nan_row=False)
    ours = ts.spatial.KDTree.from_array(x, 8, metric)
    theirs = cKDTree(x)
    off, rows, d = ours.query_radius_batch(q, 0.9, flat=True, return_distance=True, sort_results=True)
    expected = theirs.query_ball_point(q, 0.9, p=P_OF[metric], return_sorted=True)
    off, rows = np.asarray(off), np.asarray(rows)
    for i, e in enumerate(expected):
        assert sorted(rows[off[i]:off[i + 1]].tolist()) == e
    lengths = theirs.query_ball_point(q, 0.9, p=P_OF[metric], return_length=True)
    assert np.array_equal(np.asarray(ours.query_radius_batch(q, 0.9, count_only=True)), lengths)


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("bound", [0.0, 0.8, 2.0])
def test_bounded_knn_keeps_the_nearest_within_the_bound(cls, metric, bound):
    x, q = points(), queries()
    tree = tree_of(cls, x, metric)
    k = 6
    for workers in (1, 2):
        d, rows = tree.query_knn_batch(q, k, workers=workers, distance_upper_bound=bound)
        d, rows = np.asarray(d), np.asarray(rows)
        for i in range(len(q)):
            all_d = distances(x, q[i], metric)
            within = np.sort(all_d[all_d <= bound])[:k]  # NaN is never within
            found = rows[i] >= 0
            assert np.array_equal(d[i][found], within) and found.sum() == len(within)
            assert np.array_equal(all_d[rows[i][found]], within) and len(set(rows[i][found])) == len(within)
            assert np.all(rows[i][~found] == -1) and np.all(d[i][~found] == np.inf)


@pytest.mark.parametrize("cls", TREE_CLASSES)
def test_an_absent_or_infinite_bound_changes_nothing(cls):
    x, q = points(), queries()  # a NaN query: unbounded searches still answer it
    tree = tree_of(cls, x)
    d, rows = tree.query_knn_batch(q, 400)
    for bound in (None, np.inf):
        d2, rows2 = tree.query_knn_batch(q, 400, distance_upper_bound=bound)
        assert rows2 == rows and np.array_equal(np.asarray(d2), np.asarray(d), equal_nan=True)


@needs_ckdtree
def test_bounded_knn_matches_ckdtree():
    x, q = points(3000), queries(500, nan_row=False)
    d, rows = ts.spatial.KDTree.from_array(x).query_knn_batch(q, 5, distance_upper_bound=0.45)
    theirs_d, theirs_rows = cKDTree(x).query(q, 5, distance_upper_bound=0.45)
    assert np.allclose(np.asarray(d), theirs_d, rtol=1e-15, atol=0)  # also the inf places
    missing = np.asarray(rows) < 0
    assert np.array_equal(missing, theirs_rows == len(x))


def test_empty_trees_and_batches():
    tree = ts.spatial.KDTree.from_array(np.zeros((0, 2)))
    off, rows, d = tree.query_radius_batch([[0.0, 0.0]] * 3, 1.0, flat=True, return_distance=True)
    assert off.tolist() == [0, 0, 0, 0] and rows.tolist() == [] and d.shape == [0]
    assert tree.query_radius_batch(np.zeros((3, 2)), 1.0, count_only=True).tolist() == [0, 0, 0]
    tree = ts.spatial.KDTree.from_array(points(50, 2))
    assert tree.query_radius_batch(np.zeros((0, 2)), [], flat=True)[0].tolist() == [0]
    assert tree.query_knn_batch(np.zeros((0, 2)), 3, distance_upper_bound=1.0)[1].shape == (0, 3)


BAD = [
    ((-0.5,), {}, ValueError, r"^radius must be a non-negative number, not -0\.5$"),
    ((float("nan"),), {}, ValueError, r"^radius must be a non-negative number, not nan$"),
    (([1.0, -1.0, 1.0],), {}, ValueError, r"^radius\[1\] must be a non-negative number, not -1\.0$"),
    (([1.0, 1.0],), {}, ValueError, r"^radius must be one number or one per query: 2 radii for 3 queries$"),
    ((np.ones((3, 1)),), {}, ValueError, "^radius must be one number or a one-dimensional sequence"),
    (("far",), {}, TypeError, "^argument 'radius': "),
    ((1.0,), {"count_only": True, "flat": True}, ValueError, "^count_only=True gives counts alone"),
    ((1.0,), {"count_only": True, "return_distance": True}, ValueError, "^count_only=True gives counts alone"),
]


@pytest.mark.parametrize("cls", TREE_CLASSES)
@pytest.mark.parametrize("args, keywords, exc, pattern", BAD)
def test_bad_radius_options_fail_before_any_work(cls, args, keywords, exc, pattern):
    tree = tree_of(cls, points())
    before = tree.__reduce__()
    with pytest.raises(exc, match=pattern):
        tree.query_radius_batch(np.zeros((3, 3)), *args, **keywords)
    assert tree.__reduce__() == before


@pytest.mark.parametrize("bound, exc, pattern", [
    (-1.0, ValueError, r"^distance_upper_bound must be a non-negative number, not -1\.0$"),
    (float("nan"), ValueError, r"^distance_upper_bound must be a non-negative number, not nan$"),
    ("near", TypeError, "^argument 'distance_upper_bound': "),
])
def test_bad_distance_bounds(bound, exc, pattern):
    with pytest.raises(exc, match=pattern):
        tree_of(ts.spatial.BallTree, points()).query_knn_batch(np.zeros((3, 3)), 2, distance_upper_bound=bound)


def test_index_vectors_behave_like_sequences_and_pickle():
    import pickle
    off, rows = tree_of(ts.spatial.KDTree, points()).query_radius_batch(queries(8), 1.0, flat=True)
    assert off.shape == (9,) and off.ndim == 1 and len(off) == 9 and list(off) == off.tolist()
    assert off[-1] == len(rows) and isinstance(off[0], int)
    again = pickle.loads(pickle.dumps(rows))
    assert again == rows and again.shape == rows.shape and repr(again).startswith("IndexMatrix(shape=(")
    assert np.shares_memory(np.asarray(rows), np.asarray(rows))
    with pytest.raises(TypeError):
        off[0, 0]


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("bound", [None, 0.7])
def test_knn_graph_leaves_each_point_out_of_its_own_row(cls, metric, bound):
    x = points(200)  # with exact duplicates, which must find each other
    x[10] = x[11]
    tree = tree_of(cls, x, metric)
    k = 5
    for workers in (1, 2):
        d, rows = tree.query_knn_batch(None, k, workers=workers, distance_upper_bound=bound)
        d, rows = np.asarray(d), np.asarray(rows)
        assert d.shape == rows.shape == (len(x), k)
        for i in range(len(x)):
            others = distances(x, x[i], metric)
            others[i] = np.inf if bound is None else np.nan  # itself, by row
            limit = np.inf if bound is None else bound
            expected = np.sort(others[others <= limit])[:k]
            found = rows[i] >= 0
            assert i not in rows[i] and np.array_equal(d[i][found], expected)
            assert np.array_equal(distances(x, x[i], metric)[rows[i][found]], expected)
        assert 11 in rows[10] and 10 in rows[11]


@needs_ckdtree
def test_knn_graph_matches_ckdtree_and_small_trees():
    x = points(2000)
    x = x + np.random.default_rng(3).random(x.shape) * 1e-3  # no ties
    d, rows = ts.spatial.BallTree.from_array(x).query_knn_batch(None, 10, workers=2)
    theirs_d, theirs_rows = cKDTree(x).query(x, 11)
    assert np.array_equal(np.asarray(rows), theirs_rows[:, 1:])
    assert np.allclose(np.asarray(d), theirs_d[:, 1:], rtol=1e-15, atol=0)
    one = ts.spatial.KDTree.from_array(np.zeros((1, 2)))
    assert one.query_knn_batch(None, 3)[1].shape == (1, 0)
    assert ts.spatial.KDTree.from_array(np.zeros((0, 2))).query_knn_batch(None, 3)[1].shape == (0, 0)
    two = ts.spatial.VPTree.from_array(np.zeros((2, 2)))
    assert two.query_knn_batch(None, 3)[1].tolist() == [[1], [0]]


def brute_pairs(x, y, r, metric):
    """(i, j, distance) for every pair within r, by (i, j): distances from x's point to y's."""
    out = []
    for i in range(len(x)):
        d = distances(y, x[i], metric)
        out += [(i, j, d[j]) for j in np.nonzero(d <= r)[0]]
    return out


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("workers", [1, 2])
def test_pairs_counts_and_sparse_matrices_are_brute_force(cls, metric, workers):
    x, y = points(250), queries(120)  # duplicates in x; a NaN row in y
    y[7] = x[3]
    tree = tree_of(cls, x, metric)
    other = tree_of(cls, y[np.isfinite(y).all(axis=1)], metric)
    y_finite = y[np.isfinite(y).all(axis=1)]

    pairs, d = tree.query_pairs(1.2, workers=workers, return_distance=True)
    expected = [(i, j, dist) for i, j, dist in brute_pairs(x, x, 1.2, metric) if i < j]
    assert list(zip(*np.asarray(pairs).T.tolist(), d.tolist())) == expected
    assert tree.query_pairs(1.2, workers=workers) == pairs

    for target, y_points in ((y, y), (other, y_finite)):
        rows, cols, d = tree.sparse_distance_matrix(target, 0.9, workers=workers)
        assert list(zip(rows.tolist(), cols.tolist(), d.tolist())) == brute_pairs(x, y_points, 0.9, metric)
        radii = [0.0, 0.3, 0.3, 0.9, 2.5]
        every = np.array([distances(y_points, x[i], metric) for i in range(len(x))])
        cumulative = [(every <= r).sum() for r in radii]
        assert np.asarray(tree.count_neighbors(target, radii, workers=workers)).tolist() == cumulative
        bins = tree.count_neighbors(target, radii, workers=workers, cumulative=False)
        assert np.asarray(bins).tolist() == np.diff([0] + cumulative).tolist()
        assert tree.count_neighbors(target, 0.9, workers=workers) == cumulative[3]


@pytest.mark.parametrize("cls", [ts.spatial.KDTree, ts.spatial.VPTree])
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("dim, leaf_size", [(1, 5), (2, 7), (5, 3), (3, 1000), (2, 5000)])
def test_pair_searches_in_any_dimension_and_leaf_size(cls, metric, dim, leaf_size):
    # Leaves of every length (a group's members four at a time, partial
    # blocks, leaves scanned in several pieces) and dimensions of every kind.
    x = points(1200 if leaf_size < 5000 else 5100, dim, seed=dim)
    y = queries(300, dim, seed=dim + 1, nan_row=False)
    tree = cls.from_array(x, leaf_size, metric)
    r = {1: 0.05, 2: 0.3, 3: 0.5, 5: 1.5}[dim]
    pairs, d = tree.query_pairs(r, return_distance=True)
    x_pairs = brute_pairs(x, x, r, metric)
    assert list(zip(*np.asarray(pairs).T.tolist(), d.tolist())) == [p for p in x_pairs if p[0] < p[1]]
    rows, cols, d = tree.sparse_distance_matrix(y, r)
    assert list(zip(rows.tolist(), cols.tolist(), d.tolist())) == brute_pairs(x, y, r, metric)
    radii = [0.0, r / 3, r, r, 2 * r, np.inf]
    every = np.array([distances(y, p, metric) for p in x])
    assert np.asarray(tree.count_neighbors(y, radii, workers=2)).tolist() == [(every <= t).sum() for t in radii]


@needs_ckdtree
def test_pair_searches_match_ckdtree():
    rng = np.random.default_rng(4)
    x, y = rng.random((3000, 3)), rng.random((2000, 3))
    ours, theirs = ts.spatial.KDTree.from_array(x), cKDTree(x)
    radii = np.linspace(0.0, 0.4, 15)
    assert np.array_equal(np.asarray(ours.count_neighbors(y, radii)), cKDTree(y).count_neighbors(theirs, radii))
    expected = theirs.query_pairs(0.05, output_type="ndarray")
    assert np.array_equal(np.asarray(ours.query_pairs(0.05)), expected[np.lexsort(expected.T[::-1])])
    rows, cols, d = ours.sparse_distance_matrix(y, 0.05)
    coo = theirs.sparse_distance_matrix(cKDTree(y), 0.05, output_type="coo_matrix").tocsr().tocoo()
    assert np.array_equal(np.asarray(rows), coo.row) and np.array_equal(np.asarray(cols), coo.col)
    assert np.allclose(np.asarray(d), coo.data, rtol=1e-15, atol=0)


def test_pair_searches_on_empty_and_tiny_trees():
    empty = ts.spatial.BallTree.from_array(np.zeros((0, 2)))
    assert empty.query_pairs(1.0).shape == (0, 2)
    assert empty.count_neighbors(np.ones((4, 2)), [1.0, 2.0]).tolist() == [0, 0]
    rows, cols, d = empty.sparse_distance_matrix(np.ones((4, 2)), 1.0)
    assert rows.tolist() == cols.tolist() == [] and d.shape == [0]
    same = ts.spatial.KDTree.from_array(np.zeros((3, 2)))
    assert same.query_pairs(0.0).tolist() == [[0, 1], [0, 2], [1, 2]]
    assert same.count_neighbors(same, 0.0) == 9


PAIR_ERRORS = [
    (lambda t: t.query_pairs(-1.0), ValueError, r"^radius must be a non-negative number, not -1\.0$"),
    (lambda t: t.query_pairs(float("nan")), ValueError, "^radius must be a non-negative number, not nan$"),
    (lambda t: t.count_neighbors(t, [0.5, 0.2]), ValueError,
     r"^radii must be nondecreasing: radii\[1\] = 0\.2 follows 0\.5$"),
    (lambda t: t.count_neighbors(t, [0.5, float("nan")]), ValueError,
     r"^radii\[1\] must be a non-negative number, not nan$"),
    (lambda t: t.count_neighbors(t, -0.1), ValueError, r"^radii must be a non-negative number, not -0\.1$"),
    (lambda t: t.count_neighbors(t, np.ones((2, 2))), ValueError, "^radii must be one number or a one-dim"),
    (lambda t: t.count_neighbors(ts.spatial.VPTree.from_array(np.zeros((2, 3))), 1.0), TypeError,
     "^other must be a (KD|Ball)Tree or points, not VPTree$"),
    (lambda t: t.count_neighbors(type(t).from_array(np.zeros((2, 2))), 1.0), ValueError,
     "^other has dimension 2, this tree 3$"),
    (lambda t: t.sparse_distance_matrix(type(t).from_array(np.zeros((2, 3)), 5, "manhattan"), 1.0), ValueError,
     "^other uses the metric 'manhattan', this tree 'euclidean'$"),
    (lambda t: t.sparse_distance_matrix(np.zeros((2, 2)), 1.0), ValueError,
     "^other dimension 2 doesn't match tree dimension 3$"),
    (lambda t: t.sparse_distance_matrix(np.zeros(3), 1.0), ValueError, "^other must be a 2D array$"),
    (lambda t: t.sparse_distance_matrix(t, -2.0), ValueError, r"^max_distance must be a non-negative number"),
    (lambda t: t.query_pairs(1.0, workers=0), ValueError, "^workers must be a positive integer or -1$"),
]


@pytest.mark.parametrize("cls", [ts.spatial.KDTree, ts.spatial.BallTree])
@pytest.mark.parametrize("call, exc, pattern", PAIR_ERRORS)
def test_pair_search_errors_leave_the_tree_as_it_was(cls, call, exc, pattern):
    tree = tree_of(cls, points())
    before = tree.__reduce__()
    with pytest.raises(exc, match=pattern):
        call(tree)
    assert tree.__reduce__() == before


@pytest.mark.parametrize("cls", TREE_BUILDS)
def test_a_tree_tells_what_it_holds(cls):
    import pickle
    import struct
    from test_pickle import fnv
    x = points(37, 4)
    tree = cls.from_array(x, 6, "Chebyshev")
    assert (len(tree), tree.n, tree.dim, tree.metric, tree.leaf_size) == (37, 37, 4, "chebyshev", 6)
    assert np.array_equal(np.asarray(tree.points), x)  # input-row order, a copy
    tree.points[0, 0] = 99.0
    assert np.array_equal(np.asarray(tree.points), x)
    again = pickle.loads(pickle.dumps(tree))
    assert again.leaf_size == 6 and np.array_equal(np.asarray(again.points), x)
    # A state written before the leaf size was kept: the smallest that builds the same nodes.
    rebuild, (kind, state) = tree.__reduce__()
    old = state[:-16]
    loaded = rebuild(kind, old + struct.pack("<Q", fnv(old)))
    assert loaded.leaf_size <= 6
    if cls.__name__ != "RandomVPTree":  # random vantage points build other nodes each time
        assert cls.from_array(x, loaded.leaf_size, "chebyshev").__reduce__()[1][1][:-16] == old
    empty = cls.from_array(np.zeros((0, 2)))
    assert (len(empty), empty.dim, empty.leaf_size, empty.metric, empty.points.shape) == (0, 2, 20, "euclidean", [0, 2])


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
def test_counts_at_radii_that_distances_meet_exactly(cls, metric):
    # A lattice: many pairs lie exactly at each radius, which counts them.
    grid = np.array([(i, j, k) for i in range(6) for j in range(6) for k in range(6)], float)
    tree = tree_of(cls, grid, metric)
    radii = np.sqrt(np.arange(0.0, 14.0)) if metric == "euclidean" else np.arange(0.0, 8.0)
    every = np.array([distances(grid, p, metric) for p in grid])
    expected = [(every <= r).sum() for r in radii]
    for other in (tree, grid[::-1].copy()):
        assert np.asarray(tree.count_neighbors(other, radii, workers=2)).tolist() == expected
