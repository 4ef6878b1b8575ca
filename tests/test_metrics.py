"""Metric objects, and the Minkowski metrics for every p >= 1 on every tree and query,
against brute force (the sums in coordinate order) and against SciPy and scikit-learn."""
import math
import pickle

import pytest

import tessaron as ts
from spatial_reference import distances, peer

np = pytest.importorskip("numpy")
Metric = ts.spatial.Metric
TREES = [ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree]
POWERS = [1.5, 3.0, 4.5, 7.0]


def points(n=400, dim=3, seed=0):
    return np.random.default_rng(seed).random((n, dim))


# ---- the object -----------------------------------------------------------

@pytest.mark.parametrize("p, name", [(1, "manhattan"), (2, "euclidean"), (math.inf, "chebyshev"), (None, "euclidean")])
def test_the_minkowski_family_names_its_own_members(p, name):
    m = Metric("minkowski", p=p)
    assert m == Metric(name) and hash(m) == hash(Metric(name))
    assert (m.name, repr(m)) == (name, f"Metric('{name}')")


def test_a_minkowski_metric_is_a_value():
    m = Metric("MinKowski", p=3)
    assert (m.name, m.p, m.period, repr(m)) == ("minkowski", 3.0, None, "Metric('minkowski', p=3.0)")
    assert m == Metric("minkowski", p=3.0) and m != Metric("minkowski", p=3.5) and m != "minkowski"
    assert len({m, Metric("minkowski", p=3.0), Metric("euclidean")}) == 2
    assert pickle.loads(pickle.dumps(m)) == m and pickle.loads(pickle.dumps(Metric("chebyshev"))).p == math.inf
    with pytest.raises(AttributeError):
        m.p = 4.0


@pytest.mark.parametrize("args, kwargs, error, message", [
    (("minkowski",), {"p": 0.5}, ValueError, "p must be a number of at least 1 (got 0.5)"),
    (("minkowski",), {"p": math.nan}, ValueError, "p must be a number of at least 1 (got nan)"),
    (("euclidean",), {"p": 3}, ValueError, "p is taken by the 'minkowski' metric only, not by 'euclidean'"),
    (("cosine",), {}, ValueError,
     "Unknown distance metric 'cosine'. Valid options: 'euclidean', 'manhattan', 'chebyshev', 'minkowski'"),
    (("minkowski",), {"p": "3"}, TypeError, "argument 'p'"),
    (("minkowski", 3), {}, TypeError, None),
])
def test_bad_metric_parameters(args, kwargs, error, message):
    with pytest.raises(error) as e:
        Metric(*args, **kwargs)
    if message:
        assert str(e.value).startswith(message)


def test_names_stay_the_three_and_objects_build_the_same_trees():
    x = points()
    with pytest.raises(ValueError, match="^Unknown distance metric 'minkowski'. Valid options: "
                                         "'euclidean', 'manhattan', 'chebyshev'$"):
        ts.spatial.KDTree.from_array(x, metric="minkowski")
    for name in ["euclidean", "manhattan", "chebyshev"]:
        by_name = ts.spatial.KDTree.from_array(x, metric=name)
        by_object = ts.spatial.KDTree.from_array(x, metric=Metric(name))
        assert by_name.metric == name and by_object.metric == Metric(name)
        d1, i1 = by_name.query_knn_batch(x[:50], 5)
        d2, i2 = by_object.query_knn_batch(x[:50], 5)
        assert np.array_equal(np.asarray(d1), np.asarray(d2)) and np.array_equal(np.asarray(i1), np.asarray(i2))


@pytest.mark.parametrize("tree", TREES)
def test_trees_with_a_metric_object_pickle(tree):
    t = tree.from_array(points(), leaf_size=8, metric=Metric("minkowski", p=3))
    back = pickle.loads(pickle.dumps(t))
    assert back.metric == Metric("minkowski", p=3)
    q = points(20, seed=1)
    assert np.array_equal(np.asarray(back.query_knn_batch(q, 4)[1]), np.asarray(t.query_knn_batch(q, 4)[1]))


def test_pair_calls_need_the_same_power():
    x = points(50)
    a = ts.spatial.KDTree.from_array(x, metric=Metric("minkowski", p=3))
    b = ts.spatial.KDTree.from_array(x, metric=Metric("minkowski", p=4))
    with pytest.raises(ValueError, match=r"^other uses the metric 'minkowski \(p=4.0\)', this tree 'minkowski \(p=3.0\)'$"):
        a.count_neighbors(b, 0.1)


# ---- Minkowski answers ------------------------------------------------------

def brute(x, q, p):
    return np.array([distances(x, row, ("minkowski", p)) for row in q])


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", POWERS)
def test_minkowski_knn_and_radius_equal_brute_force(tree, p):
    x, q = points(), points(60, seed=1)
    t = tree.from_array(x, leaf_size=6, metric=Metric("minkowski", p=p))
    d = brute(x, q, p)
    for workers in (1, 2):
        dist, rows = t.query_knn_batch(q, 7, workers=workers)
        order = np.argsort(d, axis=1, kind="stable")[:, :7]
        assert np.array_equal(np.asarray(rows), order)
        assert np.array_equal(np.asarray(dist), np.take_along_axis(d, order, axis=1))
    r = np.quantile(d, 0.05)
    offsets, rows, dist = t.query_radius_batch(q, r, return_distance=True, sort_results=True, flat=True)
    offsets, rows, dist = np.asarray(offsets), np.asarray(rows), np.asarray(dist)
    for i in range(len(q)):
        want = np.nonzero(d[i] <= r)[0]
        want = want[np.lexsort((want, d[i][want]))]
        assert np.array_equal(rows[offsets[i]:offsets[i + 1]], want)
        assert np.array_equal(dist[offsets[i]:offsets[i + 1]], d[i][want])
    counts = np.asarray(t.query_radius_batch(q, r, count_only=True))
    assert np.array_equal(counts, (d <= r).sum(axis=1))
    # A point exactly at the radius is in.
    assert sorted(t.query_radius(q[0], d[0][5])) == sorted(np.nonzero(d[0] <= d[0][5])[0].tolist())


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", [1.5, 3.0])
def test_minkowski_pairs_counts_and_density_equal_brute_force(tree, p):
    x, y = points(150), points(120, seed=2)
    t = tree.from_array(x, leaf_size=5, metric=Metric("minkowski", p=p))
    other = tree.from_array(y, leaf_size=5, metric=Metric("minkowski", p=p))
    dxx, dxy = brute(x, x, p), brute(y, x, p)  # dxy[i, j]: x[i] to y[j]
    r = np.quantile(dxx, 0.03)
    i, j = np.nonzero(np.triu(dxx <= r, 1))
    pairs, pd = t.query_pairs(r, return_distance=True)
    assert np.array_equal(np.asarray(pairs), np.column_stack([i, j]))
    assert np.array_equal(np.asarray(pd), dxx[i, j])
    rows, cols, sd = t.sparse_distance_matrix(other, r)
    i, j = np.nonzero(dxy <= r)
    assert np.array_equal(np.asarray(rows), i) and np.array_equal(np.asarray(cols), j)
    assert np.array_equal(np.asarray(sd), dxy[i, j])
    radii = np.quantile(dxy, [0.01, 0.1, 0.5])
    for o in (other, y):
        assert np.asarray(t.count_neighbors(o, radii)).tolist() == [(dxy <= r_).sum() for r_ in radii]
    h = 0.2
    dens = np.asarray(t.kernel_density_batch(y[:30], h, "epanechnikov"))
    u = brute(x, y[:30], p) / h
    want = np.where(u < 1, 0.75 * (1 - u * u), 0.0).sum(axis=1)
    assert np.allclose(dens, want, rtol=1e-12, atol=0)


@pytest.mark.parametrize("p", [1.5, 3.0, 4.5])
def test_minkowski_matches_scipy_and_sklearn(p):
    scipy_spatial = peer("scipy.spatial")
    neighbors = peer("sklearn.neighbors")
    x, q = points(2000), points(200, seed=3)
    ours = ts.spatial.KDTree.from_array(x, metric=Metric("minkowski", p=p))
    d, i = ours.query_knn_batch(q, 5)
    sd, si = scipy_spatial.cKDTree(x).query(q, 5, p=p)
    assert np.array_equal(np.asarray(i), si) and np.allclose(np.asarray(d), sd, rtol=1e-13)
    kd, ki = neighbors.BallTree(x, metric="minkowski", p=p).query(q, 5)
    assert np.array_equal(np.asarray(i), ki) and np.allclose(np.asarray(d), kd, rtol=1e-13)
    r = 0.1
    assert np.array_equal(np.asarray(ours.query_radius_batch(q, r, count_only=True)),
                          scipy_spatial.cKDTree(x).query_ball_point(q, r, p=p, return_length=True))


@pytest.mark.parametrize("tree", TREES)
def test_minkowski_nan_distances_are_never_within_a_radius(tree):
    t = tree.from_array(points(100), metric=Metric("minkowski", p=3))
    q = [0.5, np.nan, 0.5]
    assert t.query_radius(q, 10.0) == [] and np.asarray(t.query_radius_batch([q], 10.0, count_only=True))[0] == 0
    assert len(t.query_knn(q, 100)) == 100


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", [3.0, 2.5])
def test_minkowski_lattice_ties_and_radii_met_exactly(tree, p):
    from spatial_reference import check_knn
    g = np.arange(6.0)
    x = np.array(np.meshgrid(g, g, g)).reshape(3, -1).T
    t = tree.from_array(x, leaf_size=4, metric=Metric("minkowski", p=p))
    for q in x[::37]:
        d = distances(x, q, ("minkowski", p))
        for k in (1, 7, 30):
            check_knn(t.query_knn(q, k), x, q, k, ("minkowski", p))
        for r in np.unique(d)[:6]:
            assert sorted(t.query_radius(q, r)) == np.nonzero(d <= r)[0].tolist()


# ---- haversine ----------------------------------------------------------------

def sphere(n, seed=0):
    """Uniform points on the sphere as (latitude, longitude) in radians."""
    rng = np.random.default_rng(seed)
    return np.column_stack([np.arcsin(rng.uniform(-1, 1, n)), rng.uniform(-np.pi, np.pi, n)])


def test_haversine_metric_object_and_errors():
    m = Metric("Haversine")
    assert (m.name, m.p, repr(m)) == ("haversine", None, "Metric('haversine')") and m == Metric("haversine")
    with pytest.raises(ValueError, match="^p is taken by the 'minkowski' metric only, not by 'haversine'$"):
        Metric("haversine", p=2)
    with pytest.raises(ValueError, match=r"^metric: the KDTree does not take 'haversine' \(boxes of latitudes and "
                                         r"longitudes bound no great-circle distance\); use BallTree or VPTree$"):
        ts.spatial.KDTree.from_array(sphere(10), metric=m)
    for tree in (ts.spatial.BallTree, ts.spatial.VPTree):
        with pytest.raises(ValueError, match=r"^metric: 'haversine' takes points of 2 coordinates \(latitude, "
                                             r"longitude in radians\), not 3$"):
            tree.from_array(points(10), metric=m)
    with pytest.raises(ValueError, match="^Unknown distance metric 'haversine'. Valid options: "
                                         "'euclidean', 'manhattan', 'chebyshev'$"):
        ts.spatial.BallTree.from_array(sphere(10), metric="haversine")


HAVERSINE_TREES = [ts.spatial.BallTree, ts.spatial.VPTree]


@pytest.mark.parametrize("tree", HAVERSINE_TREES)
@pytest.mark.parametrize("seed", [0, 1])
def test_haversine_queries_equal_brute_force(tree, seed):
    x, q = sphere(300, seed), sphere(40, seed + 10)
    # Antipodes of some points, where the distance is worst conditioned.
    q[:8] = np.column_stack([-x[:8, 0], np.where(x[:8, 1] > 0, x[:8, 1] - np.pi, x[:8, 1] + np.pi)])
    t = tree.from_array(x, leaf_size=5, metric=Metric("haversine"))
    d = np.array([distances(x, row, "haversine") for row in q])
    for workers in (1, 2):
        dist, rows = t.query_knn_batch(q, 6, workers=workers)
        order = np.argsort(d, axis=1, kind="stable")[:, :6]
        assert np.array_equal(np.asarray(dist), np.take_along_axis(d, order, axis=1))
        assert np.array_equal(np.asarray(rows), order)
    for r in (0.05, 0.6, np.pi - 1e-9):
        counts = np.asarray(t.query_radius_batch(q, r, count_only=True))
        assert np.array_equal(counts, (d <= r).sum(axis=1))
    offsets, rows, dist = t.query_radius_batch(q, 0.3, return_distance=True, sort_results=True, flat=True)
    for i in range(len(q)):
        got = np.asarray(rows)[np.asarray(offsets)[i]:np.asarray(offsets)[i + 1]]
        want = np.nonzero(d[i] <= 0.3)[0]
        assert np.array_equal(got, want[np.lexsort((want, d[i][want]))])
    pairs = np.asarray(t.query_pairs(0.1))
    dxx = np.array([distances(x, row, "haversine") for row in x])
    assert np.array_equal(pairs, np.column_stack(np.nonzero(np.triu(dxx <= 0.1, 1))))
    assert int(t.count_neighbors(q, 0.4)) == int((d <= 0.4).sum())
    dens = np.asarray(t.kernel_density_batch(q, 0.2, "gaussian"))
    assert np.allclose(dens, np.exp(-0.5 * (d / 0.2) ** 2).sum(axis=1), rtol=1e-9, atol=1e-9)
    back = pickle.loads(pickle.dumps(t))
    assert back.metric == Metric("haversine")
    assert np.array_equal(np.asarray(back.query_knn_batch(q, 3)[1]), np.asarray(t.query_knn_batch(q, 3)[1]))


def test_haversine_matches_sklearn_in_kilometres():
    neighbors = peer("sklearn.neighbors")
    x, q = sphere(5000), sphere(300, 7)
    ours = ts.spatial.BallTree.from_array(x, metric=Metric("haversine"))
    d, i = ours.query_knn_batch(q, 5)
    kd, ki = neighbors.BallTree(x, metric="haversine").query(q, 5)
    assert np.array_equal(np.asarray(i), ki)
    assert np.allclose(np.asarray(d) * 6371.0, kd * 6371.0, rtol=1e-12, atol=1e-9)


@pytest.mark.parametrize("tree", HAVERSINE_TREES)
def test_haversine_near_antipodes_loses_no_point(tree):
    # There the root magnifies rounding a millionfold: bounds from the
    # triangle inequality need more than a relative sliver.
    for seed in range(30):
        rng = np.random.default_rng(seed)
        x = sphere(200, seed)
        q = np.column_stack([-x[:20, 0], np.where(x[:20, 1] > 0, x[:20, 1] - np.pi, x[:20, 1] + np.pi)])
        q = q + rng.normal(0, 1e-9, q.shape)
        t = tree.from_array(x, leaf_size=3, metric=Metric("haversine"))
        d = np.array([distances(x, row, "haversine") for row in q])
        assert np.array_equal(np.asarray(t.query_knn_batch(q, 1)[0])[:, 0], d.min(axis=1))
        far = np.sort(d, axis=1)[:, -3]
        counts = [int(np.asarray(t.query_radius_batch(q[i:i + 1], far[i], count_only=True))[0]) for i in range(20)]
        assert counts == (d <= far[:, None]).sum(axis=1).tolist()
