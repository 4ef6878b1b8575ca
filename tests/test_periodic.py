"""Periodic boxes: distances on a torus for the Minkowski family, on every tree and
query, against brute force and cKDTree(boxsize=...)."""
import math
import pickle

import pytest

import tessaron as ts
from spatial_reference import minkowski_term, peer

np = pytest.importorskip("numpy")
Metric = ts.spatial.Metric
TREES = [ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree]


def torus_distances(points, q, p, period):
    """Each coordinate's difference wrapped (min(d, L - d) where L is finite), combined by the family's p."""
    points = np.asarray(points, dtype=float)
    terms = []
    for i in range(points.shape[1]):
        d = np.abs(q[i] - points[:, i])
        if math.isfinite(period[i]):
            d = np.minimum(d, period[i] - d)
        terms.append(d)
    if p == math.inf:
        s = np.zeros(len(points))
        for t in terms:
            s = np.where(t > s, t, s)
        return s
    s = np.zeros(len(points))
    for t in terms:
        s = s + (t * t if p == 2 else t if p == 1 else minkowski_term(t, p))
    if p == 2:
        return np.sqrt(s)
    return s if p == 1 else np.array([math.pow(x, 1.0 / p) for x in s.tolist()])


def box_points(n, period, seed=0):
    rng = np.random.default_rng(seed)
    return np.column_stack([rng.random(n) * (L if math.isfinite(L) else 1.0) for L in period])


def test_periodic_metric_objects():
    m = Metric("euclidean", period=[1.0, 2.0, math.inf])
    assert (m.name, m.p, m.period) == ("euclidean", 2.0, (1.0, 2.0, math.inf))
    assert repr(m) == "Metric('euclidean', period=(1.0, 2.0, inf))"
    assert m == Metric("minkowski", p=2, period=(1, 2, 0)) and m != Metric("euclidean")
    assert Metric("euclidean", period=[math.inf, 0]) == Metric("euclidean")  # nothing wraps
    assert Metric("chebyshev", period=3).period == 3.0
    assert pickle.loads(pickle.dumps(m)) == m and hash(m) == hash(Metric("minkowski", p=2, period=(1, 2, 0)))


@pytest.mark.parametrize("kwargs, message", [
    ({"period": -1.0}, "period must hold positive numbers, inf or 0 (got -1.0)"),
    ({"period": [1.0, math.nan]}, "period must hold positive numbers, inf or 0 (got nan)"),
    ({"period": []}, "period must hold one number or one per dimension, not none"),
])
def test_bad_periods(kwargs, message):
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(").replace(")", r"\)") + "$"):
        Metric("euclidean", **kwargs)
    with pytest.raises(ValueError, match="^period is taken by the Minkowski family only, not by 'haversine'$"):
        Metric("haversine", period=1.0)


@pytest.mark.parametrize("tree", TREES)
def test_periodic_build_errors(tree):
    with pytest.raises(ValueError, match=r"^metric: the period has 2 values, the points 3 coordinates$"):
        tree.from_array(box_points(10, [1, 1, 1]), metric=Metric("euclidean", period=[1, 1]))
    x = box_points(10, [1, 1])
    x[3, 1] = 1.0
    with pytest.raises(ValueError, match=r"^metric: the points must lie in \[0, period\) in each periodic "
                                         r"dimension \(row 3, coordinate 1: 1.0\)$"):
        tree.from_array(x, metric=Metric("euclidean", period=1.0))


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", [1, 2, math.inf, 3])
def test_periodic_queries_equal_brute_force(tree, p):
    period = [1.0, 2.0, math.inf]
    x = box_points(300, period)
    q = box_points(50, period, seed=1) * 3 - 1  # queries anywhere: wrapped into the box first
    wrapped = q.copy()
    for i, L in enumerate(period):
        if math.isfinite(L):
            wrapped[:, i] = q[:, i] - np.floor(q[:, i] / L) * L
    t = tree.from_array(x, leaf_size=6, metric=Metric("minkowski", p=p, period=period))
    d = np.array([torus_distances(x, row, p, period) for row in wrapped])
    dist, rows = t.query_knn_batch(q, 6, workers=2)
    order = np.argsort(d, axis=1, kind="stable")[:, :6]
    assert np.array_equal(np.asarray(dist), np.take_along_axis(d, order, axis=1))
    r = np.quantile(d, 0.05)
    counts = np.asarray(t.query_radius_batch(q, r, count_only=True))
    assert np.array_equal(counts, (d <= r).sum(axis=1))
    offsets, rows, dist = t.query_radius_batch(q, r, return_distance=True, sort_results=True, flat=True)
    i = 7
    want = np.nonzero(d[i] <= r)[0]
    assert np.array_equal(np.asarray(rows)[np.asarray(offsets)[i]:np.asarray(offsets)[i + 1]],
                          want[np.lexsort((want, d[i][want]))])
    dxx = np.array([torus_distances(x, row, p, period) for row in x])
    rr = np.quantile(dxx, 0.02)
    assert np.array_equal(np.asarray(t.query_pairs(rr)), np.column_stack(np.nonzero(np.triu(dxx <= rr, 1))))
    radii = [rr, 2 * rr]
    assert np.asarray(t.count_neighbors(t, radii)).tolist() == [int((dxx <= v).sum()) for v in radii]
    dens = np.asarray(t.kernel_density_batch(q[:10], 0.3, "epanechnikov"))
    u = d[:10] / 0.3
    assert np.allclose(dens, np.where(u < 1, 0.75 * (1 - u * u), 0).sum(axis=1), rtol=1e-12, atol=0)
    back = pickle.loads(pickle.dumps(t))
    assert back.metric == t.metric
    assert np.array_equal(np.asarray(back.query_knn_batch(q, 3)[1]), np.asarray(t.query_knn_batch(q, 3)[1]))


def test_periodic_matches_ckdtree_boxsize():
    scipy_spatial = peer("scipy.spatial")
    x, q = box_points(3000, [1, 1, 1]), box_points(300, [1, 1, 1], seed=4)
    ours = ts.spatial.KDTree.from_array(x, metric=Metric("euclidean", period=1.0))
    theirs = scipy_spatial.cKDTree(x, boxsize=1.0)
    d, i = ours.query_knn_batch(q, 5)
    td, ti = theirs.query(q, 5)
    assert np.array_equal(np.asarray(i), ti) and np.allclose(np.asarray(d), td, rtol=1e-13)
    radii = np.array([0.02, 0.05, 0.1])
    assert np.array_equal(np.asarray(ours.count_neighbors(ours, radii)), theirs.count_neighbors(theirs, radii))


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", [1, 2, math.inf, 3])
def test_periodic_lattice_ties_across_the_edges(tree, p):
    g = np.arange(6.0)
    x = np.array(np.meshgrid(g, g, g)).reshape(3, -1).T
    period = [6.0, 6.0, 6.0]
    t = tree.from_array(x, leaf_size=4, metric=Metric("minkowski", p=p, period=6.0))
    for q in x[::31]:
        d = torus_distances(x, q, p, period)
        got = t.query_knn(q, 27)
        assert len(set(got)) == 27 and np.array_equal(np.sort(d[got]), np.sort(d)[:27])
        for r in np.unique(d)[:4]:
            assert sorted(t.query_radius(q, r)) == np.nonzero(d <= r)[0].tolist()


@pytest.mark.parametrize("tree", TREES)
def test_periodic_small_distances_across_a_large_box(tree):
    # Wrapped differences L - d lose the low digits of d: bounds need an
    # absolute margin, not a relative one.
    L = 1000.0
    rng = np.random.default_rng(9)
    x = np.column_stack([np.concatenate([rng.random(100) * 1e-6, L - rng.random(100) * 1e-6]), rng.random(200) * 1e-6])
    x = x[(x[:, 0] >= 0) & (x[:, 0] < L)]
    t = tree.from_array(x, leaf_size=3, metric=Metric("euclidean", period=[L, math.inf]))
    for q in x[::17]:
        d = torus_distances(x, q, 2, [L, math.inf])
        got = t.query_knn(q, 5)
        assert np.array_equal(np.sort(d[got]), np.sort(d)[:5])
        r = np.sort(d)[10]
        assert sorted(t.query_radius(q, r)) == np.nonzero(d <= r)[0].tolist()


@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("p", [1, 2, math.inf])
@pytest.mark.parametrize("leaf_size", [5, 60])
def test_periodic_pair_searches_with_points_outside_the_box(tree, p, leaf_size):
    period = [1.0, math.inf, 0.5]
    x = box_points(400, period)
    y = box_points(150, period, seed=3) * 2 - 0.5  # other points anywhere: wrapped in first
    wrapped = y.copy()
    for i, L in enumerate(period):
        if math.isfinite(L):
            wrapped[:, i] = y[:, i] - np.floor(y[:, i] / L) * L
    t = tree.from_array(x, leaf_size=leaf_size, metric=Metric("minkowski", p=p, period=period))
    d = np.array([torus_distances(x, row, p, period) for row in wrapped]).T  # d[i, j]: x[i] to y[j]
    radii = np.quantile(d, [0.01, 0.05, 0.2])
    assert np.asarray(t.count_neighbors(y, radii, workers=2)).tolist() == [int((d <= r).sum()) for r in radii]
    rows, cols, dist = t.sparse_distance_matrix(y, radii[1])
    i, j = np.nonzero(d <= radii[1])
    assert np.array_equal(np.asarray(rows), i) and np.array_equal(np.asarray(cols), j)
    assert np.array_equal(np.asarray(dist), d[i, j])
    dxx = np.array([torus_distances(x, row, p, period) for row in x])
    r = np.quantile(dxx, 0.02)
    pairs, pd = t.query_pairs(r, return_distance=True)
    i, j = np.nonzero(np.triu(dxx <= r, 1))
    assert np.array_equal(np.asarray(pairs), np.column_stack([i, j])) and np.array_equal(np.asarray(pd), dxx[i, j])
