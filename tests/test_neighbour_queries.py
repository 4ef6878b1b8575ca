"""The peers' query repertoire on every tree: radius answers with distances,
order, counts and compressed rows, one radius per query, and k-nearest
bounded by a distance; against brute force and cKDTree."""
import numpy as np
import pytest
from scipy.spatial import cKDTree

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
