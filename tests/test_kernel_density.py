"""KernelDensity: normalised log-densities against brute force (log-sum-exp over
every point) and scikit-learn, and scikit-learn's estimator conventions."""
import functools
import math
import operator
import pickle

import pytest

import tessaron as ts
from spatial_reference import peer

np = pytest.importorskip("numpy")
KDE = ts.spatial.KernelDensity
Metric = ts.spatial.Metric
TREES = ["kd", "ball", "vp"]


def clustered(n=3000, dim=3, seed=0):
    """Points in a few tight clusters, so that a tree's nodes differ a lot in what they add."""
    rng = np.random.default_rng(seed)
    centres = rng.random((8, dim))
    return centres[rng.integers(0, 8, n)] + rng.normal(scale=0.03, size=(n, dim))


def pairwise(q, x, metric):
    d = q[:, None, :] - x[None, :, :]
    if metric == "euclidean":
        return np.sqrt((d * d).sum(-1))
    if metric == "manhattan":
        return np.abs(d).sum(-1)
    if metric == "chebyshev":
        return np.abs(d).max(-1)
    if metric == Metric("haversine"):
        lat1, lat2 = q[:, None, 0], x[None, :, 0]
        h = np.sin(d[..., 0] / 2) ** 2 + np.cos(lat1) * np.cos(lat2) * np.sin(d[..., 1] / 2) ** 2
        return 2 * np.arcsin(np.sqrt(h))
    return (np.abs(d) ** metric.p).sum(-1) ** (1 / metric.p)  # a Minkowski Metric


KERNELS = ["gaussian", "tophat", "epanechnikov", "exponential", "linear", "cosine"]
PROFILES = {  # each kernel's profile K(u), 1 at 0
    "gaussian": lambda u: np.exp(-0.5 * u * u), "tophat": lambda u: np.where(u < 1, 1.0, 0.0),
    "epanechnikov": lambda u: np.where(u < 1, 1 - u * u, 0.0), "exponential": lambda u: np.exp(-u),
    "linear": lambda u: np.where(u < 1, 1 - u, 0.0), "cosine": lambda u: np.where(u < 1, np.cos(np.pi / 2 * u), 0.0),
}


def log_kernel(name, u):
    with np.errstate(divide="ignore"):
        if name == "gaussian":
            return -0.5 * u * u
        if name == "exponential":
            return -u
        return np.log(PROFILES[name](u))


def log_norm(name, dim, h):
    """The log of the constant making the profile integrate to 1 over dim-dimensional space, by quadrature."""
    integrate = peer("scipy.integrate")
    sphere = 2 * math.pi ** (dim / 2) / math.gamma(dim / 2)
    radial, _ = integrate.quad(lambda r: PROFILES[name](np.float64(r)) * r ** (dim - 1), 0,
                               np.inf if name in ("gaussian", "exponential") else 1, epsabs=0, epsrel=1e-13, limit=200)
    return -math.log(sphere * radial) - dim * math.log(h)


def brute(x, q, h, kernel="gaussian", metric="euclidean", weights=None):
    """log((1/W) sum w_i K_normalised(d / h)), by log-sum-exp in extended precision."""
    w = np.ones(len(x)) if weights is None else np.asarray(weights, float)
    logs = log_kernel(kernel, pairwise(q, x, metric) / h)
    with np.errstate(divide="ignore"):
        logs = logs + np.log(w)
    top = logs.max(axis=1, keepdims=True)
    safe = np.where(np.isfinite(top), top, 0.0)
    sums = np.exp((logs - safe).astype(np.longdouble)).sum(axis=1)
    with np.errstate(divide="ignore"):
        out = np.log(sums).astype(float) + safe[:, 0]
    return out + log_norm(kernel, x.shape[1], h) - math.log(w.sum())


def close(a, b, rel):
    a, b = np.asarray(a), np.asarray(b)
    assert a.shape == b.shape and np.array_equal(np.isneginf(a), np.isneginf(b))
    finite = np.isfinite(b)
    assert np.all(np.abs(a[finite] - b[finite]) <= rel * np.abs(b[finite]) + 1e-300)


# ---- the numbers ------------------------------------------------------------

@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("weighted", [False, True])
def test_exact_log_densities_match_brute_force(kernel, tree, weighted):
    x, q = clustered(), clustered(200, seed=1)
    w = np.random.default_rng(2).random(len(x)) if weighted else None
    got = KDE(bandwidth=0.05, kernel=kernel, tree=tree, leaf_size=10).fit(x, sample_weight=w).score_samples(q)
    close(got, brute(x, q, 0.05, kernel, weights=w), 1e-12)


@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("metric", ["manhattan", "chebyshev", Metric("minkowski", p=3)])
@pytest.mark.parametrize("dim", [1, 2, 4])
def test_every_kernel_under_every_metric_and_dimension(kernel, metric, dim):
    x, q = clustered(1000, dim), clustered(100, dim, seed=1)
    got = KDE(bandwidth=0.08, kernel=kernel, metric=metric, tree="ball").fit(x).score_samples(q)
    close(got, brute(x, q, 0.08, kernel, metric), 1e-12)


@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("tree", ["ball", "vp"])
def test_haversine_densities_on_the_sphere(kernel, tree):
    # (latitude, longitude) in radians; the constant is the 2-D one, as scikit-learn's.
    rng = np.random.default_rng(7)
    x = np.column_stack([np.arcsin(rng.uniform(-1, 1, 2000)), rng.uniform(-np.pi, np.pi, 2000)])
    q = np.column_stack([np.arcsin(rng.uniform(-1, 1, 100)), rng.uniform(-np.pi, np.pi, 100)])
    haversine = Metric("haversine")
    ours = KDE(bandwidth=0.1, kernel=kernel, tree=tree, metric=haversine).fit(x).score_samples(q)
    close(ours, brute(x, q, 0.1, kernel, haversine), 1e-12)
    if tree == "ball" and kernel != "cosine":  # scikit-learn's 2-D cosine constant is off (0.36 of 1)
        sk = peer("sklearn.neighbors")
        theirs = sk.KernelDensity(bandwidth=0.1, kernel=kernel, metric="haversine", algorithm="ball_tree").fit(x)
        seen = np.isfinite(ours)
        assert np.all(np.abs(ours - theirs.score_samples(q))[seen] <= 1e-9 * np.abs(ours[seen]))


@pytest.mark.parametrize("kernel", ["tophat", "epanechnikov", "linear", "cosine"])
def test_the_bounded_kernels_stop_at_one_bandwidth(kernel):
    kde = KDE(bandwidth=0.5, kernel=kernel).fit([[0.0, 0.0, 0.0]])
    inside, edge = kde.score_samples([[0.0, 0.0, 0.0], [0.5, 0.0, 0.0]])
    assert edge == -math.inf and inside == pytest.approx(log_norm(kernel, 3, 0.5), rel=1e-13)


def scikit_learn_kde(x, h, tree, metric, kernel="gaussian", weights=None):
    sk = peer("sklearn.neighbors")
    extra = {"metric_params": {"p": metric.p}} if isinstance(metric, Metric) else {}
    name = "minkowski" if isinstance(metric, Metric) else metric
    return sk.KernelDensity(bandwidth=h, algorithm=tree + "_tree", kernel=kernel, metric=name,
                            **extra).fit(x, sample_weight=weights)


@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("tree", ["kd", "ball"])
@pytest.mark.parametrize("metric", ["euclidean", "manhattan", "chebyshev", Metric("minkowski", p=3)])
def test_exact_log_densities_match_scikit_learn(kernel, tree, metric):
    # Three dimensions: scikit-learn's cosine constant is right in odd ones only.
    # scikit-learn sums in logs: its "exact" values stray from brute force, by
    # up to 5% for the gaussian at a small bandwidth on clustered points, by
    # 1e-11 for the bounded kernels, and where no point is within a bandwidth
    # it gives about -35 rather than -inf. Ours stay brute force's (to 1e-12),
    # so never farther from scikit-learn's than those are from the truth, and
    # where it is exact (the gaussian at a wide bandwidth) we agree to 1e-12.
    x, q = clustered(2000), clustered(200, seed=1)
    for h in [0.05, 0.3]:
        exact = brute(x, q, h, kernel, metric)
        theirs = scikit_learn_kde(x, h, tree, metric, kernel).score_samples(q)
        ours = KDE(bandwidth=h, kernel=kernel, tree=tree, metric=metric).fit(x).score_samples(q)
        close(ours, exact, 1e-12)
        seen = np.isfinite(exact)
        ours, theirs, exact = ours[seen], theirs[seen], exact[seen]
        assert np.all(np.abs(ours - theirs) <= np.abs(theirs - exact) + 1e-12 * np.abs(exact))
        if kernel == "gaussian" and h == 0.3:
            close(ours, theirs, 1e-12)


@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("tree", TREES)
@pytest.mark.parametrize("rtol, atol_share", [(1e-4, 0.0), (1e-2, 0.0), (0.0, 1e-3), (1e-3, 1e-2)])
def test_tolerances_are_guaranteed(kernel, tree, rtol, atol_share):
    # Every density within atol + rtol * density of brute force's (atol a
    # share of the mean density), up to the sum's rounding.
    x, q, w, exact = tolerance_case(kernel)
    atol = atol_share * exact.mean()
    kde = KDE(bandwidth=0.05, kernel=kernel, tree=tree, rtol=rtol, atol=atol).fit(x, sample_weight=w)
    approx = np.exp(kde.score_samples(q))
    assert np.all(np.abs(approx - exact) <= atol + (rtol + 1e-12) * exact)
    # The tolerance is used: whole nodes are taken at their midpoints. (Each
    # node may miss its weight's share of the tolerance, less than what a
    # node across a bounded kernel's edge would miss.)
    if kernel in ("gaussian", "exponential"):
        assert np.max(np.abs(approx - exact) / (atol + rtol * exact)) > 0.01


@functools.lru_cache
def tolerance_case(kernel):
    x, q = clustered(8000, seed=3), np.r_[clustered(200, seed=4), np.random.default_rng(5).random((60, 3))]
    w = np.random.default_rng(6).random(len(x))
    return x, q, w, np.exp(brute(x, q, 0.05, kernel, weights=w))


def test_gaussian_terms_are_within_a_few_units_in_the_last_place():
    # One point, queries at distances from 0 to 37.6 bandwidths (terms down to
    # e^-707): each term against libm's exp, weighted and not, on all lanes.
    d = np.linspace(0.0, 37.6, 4001)
    want = np.exp(-0.5 * d * d)
    for weights in [None, [1.0, 1.0, 1.0, 1.0, 1.0]]:
        x = np.zeros((5, 1))  # five equal points: four lanes and a tail
        kde = KDE(bandwidth=1.0).fit(x, sample_weight=weights)
        got = np.exp(kde.score_samples(d[:, None]) + 0.5 * math.log(2 * math.pi))
        assert np.all(np.abs(got - want) <= 2e-15 * want * (1 + 0.5 * d * d))


def test_cosine_terms_keep_their_precision_up_to_the_edge():
    u = np.r_[np.linspace(0.0, 1.0, 4001)[:-1], 1 - 2.0 ** -np.arange(12, 50)]  # down to cos = 1e-15
    kde = KDE(bandwidth=1.0, kernel="cosine").fit(np.zeros((5, 1)))
    got = np.exp(kde.score_samples(u[:, None]) - log_norm("cosine", 1, 1.0))
    want = np.cos(np.pi / 2 * u)
    assert np.all(np.abs(got - want) <= 1e-14 * want)


@pytest.mark.parametrize("kernel, h", [("gaussian", 0.05), ("exponential", 0.01)])
def test_queries_far_from_every_point_keep_a_finite_log_density(kernel, h):
    # Every term underflows to 0; they are summed relative to the nearest.
    x, q = clustered(500), clustered(20, seed=1) * 60 + 40
    got = KDE(bandwidth=h, kernel=kernel).fit(x).score_samples(q)
    assert np.all(np.isfinite(got)) and np.all(got < -1000)
    close(got, brute(x, q, h, kernel), 1e-12)


def test_weights_scale_points_and_zero_weights_leave_them_out():
    x, q = clustered(400), clustered(50, seed=1)
    w = np.arange(400) % 3.0  # 0, 1, 2, ...
    kde = KDE(bandwidth=0.1).fit(x, sample_weight=w)
    assert kde.tree_.n == np.count_nonzero(w)
    repeated = np.repeat(x, w.astype(int), axis=0)  # weight 2: the point twice
    close(kde.score_samples(q), KDE(bandwidth=0.1).fit(repeated).score_samples(q), 1e-12)


@pytest.mark.parametrize("tree", TREES)
def test_answers_do_not_depend_on_workers_or_on_the_form_of_X(tree):
    x, q = clustered(2000), clustered(500, seed=1)
    one = KDE(bandwidth=0.05, tree=tree).fit(x).score_samples(q)
    assert np.array_equal(KDE(bandwidth=0.05, tree=tree, workers=2).fit(x).score_samples(q), one)
    assert np.array_equal(KDE(bandwidth=0.05, tree=tree, workers=-1).fit(x.tolist()).score_samples(q.tolist()), one)
    kde = KDE(bandwidth=0.05, tree=tree).fit(ts.Array.from_numpy(x))
    assert np.array_equal(kde.score_samples(np.asfortranarray(q)), one)
    assert kde.score(q) == functools.reduce(operator.add, one.tolist())  # left to right


@pytest.mark.parametrize("rule", ["scott", "silverman"])
def test_bandwidth_rules(rule):
    x = clustered(1000, 2)
    n, d = x.shape
    want = n ** (-1 / (d + 4)) if rule == "scott" else (n * (d + 2) / 4) ** (-1 / (d + 4))
    kde = KDE(bandwidth=rule).fit(x)
    assert kde.bandwidth_ == want and kde.bandwidth == rule
    close(kde.score_samples(x[:50]), brute(x, x[:50], want), 1e-12)


# ---- the estimator ----------------------------------------------------------

def test_parameters_are_kept_as_given():
    metric = Metric("minkowski", p=3)
    kde = KDE(bandwidth=2, kernel="GAUSSIAN", metric=metric, tree="ball", leaf_size=5, workers=2)
    params = kde.get_params()
    assert list(params) == sorted(params) and params["metric"] is metric and params["bandwidth"] == 2
    assert repr(kde) == ("KernelDensity(bandwidth=2, kernel='GAUSSIAN', leaf_size=5, "
                         "metric=Metric('minkowski', p=3.0), tree='ball', workers=2)")
    assert repr(KDE()) == "KernelDensity()"
    assert kde.set_params(rtol=0.5, tree="vp") is kde and (kde.rtol, kde.tree) == (0.5, "vp")
    with pytest.raises(ValueError, match=r"^Invalid parameter 'bandwith' for estimator KernelDensity\(\)"):
        kde.set_params(tree="kd", bandwith=1.0)
    assert kde.tree == "vp"  # nothing set


@pytest.mark.parametrize("params, message", [
    ({"bandwidth": 0.0}, "bandwidth must be a positive number, 'scott' or 'silverman', not 0.0"),
    ({"bandwidth": -1}, "bandwidth must be a positive number, 'scott' or 'silverman', not -1"),
    ({"bandwidth": "wide"}, "bandwidth must be a positive number, 'scott' or 'silverman', not 'wide'"),
    ({"kernel": "box"}, "kernel must be one of .*, not 'box'"),
    ({"tree": "cover"}, "tree must be one of 'kd', 'ball', 'vp', not 'cover'"),
    ({"leaf_size": 0}, "leaf_size must be a positive integer, not 0"),
    ({"atol": -1.0}, "atol must be a non-negative number, not -1.0"),
    ({"rtol": float("nan")}, "rtol must be a non-negative number, not nan"),
    ({"workers": 0}, "workers must be a positive integer or -1, not 0"),
    ({"metric": "cosine"}, "Unknown distance metric 'cosine'"),
])
def test_fit_names_the_parameter_at_fault_and_keeps_the_fit(params, message):
    x = clustered(100)
    kde = KDE(bandwidth=0.2).fit(x)
    with pytest.raises(ValueError, match=message):
        kde.set_params(**params).fit(x[:50])
    assert kde.tree_.n == 100 and kde.bandwidth_ == 0.2


@pytest.mark.parametrize("weights, message", [
    (np.ones(99), r"sample_weight must hold one weight per sample: 100 samples, weights of shape \[99\]"),
    (np.r_[-1.0, np.ones(99)], "sample_weight must hold non-negative finite numbers"),
    (np.zeros(100), "sample_weight: the weights are all zero"),
])
def test_sample_weight_is_checked(weights, message):
    with pytest.raises(ValueError, match=message):
        KDE().fit(clustered(100), sample_weight=weights)


@pytest.mark.parametrize("X, message", [
    (np.zeros((0, 3)), r"Found array with 0 sample\(s\) \(shape=\(0, 3\)\)"),
    (np.zeros((3, 0)), r"Found array with 0 feature\(s\) \(shape=\(3, 0\)\)"),
    (np.array([[0.0, np.nan]]), "Input X contains NaN."),
    (np.array([[0.0, np.inf]]), "Input X contains infinity"),
    (np.zeros(3), "X must be a 2D array"),
    ([[1.0, 2.0], [3.0]], "X rows must all have the same length: row 1 has 1 numbers, the first 2"),
])
def test_X_is_checked(X, message):
    with pytest.raises(ValueError, match=message):
        KDE().fit(X)


def test_scoring_needs_a_fit_of_as_many_features():
    kde = KDE()
    assert not kde.__sklearn_is_fitted__() and not hasattr(kde, "tree_") and not hasattr(kde, "bandwidth_")
    with pytest.raises(ValueError, match="^This KernelDensity instance is not fitted yet"):
        kde.score_samples([[0.0, 0.0]])
    kde.fit(clustered(50, 3))
    assert kde.__sklearn_is_fitted__() and kde.n_features_in_ == 3
    with pytest.raises(ValueError, match="^X has 2 features, but KernelDensity is expecting 3 features as input.$"):
        kde.score_samples([[0.0, 0.0]])


@pytest.mark.parametrize("fitted", [False, True])
def test_pickles_with_its_fit(fitted):
    x = clustered(300)
    kde = KDE(bandwidth=0.1, tree="ball", metric=Metric("minkowski", p=3))
    kde.note = "kept"  # attributes of the caller's own travel too
    if fitted:
        kde.fit(x, sample_weight=np.arange(300.0))
    back = pickle.loads(pickle.dumps(kde))
    assert repr(back) == repr(kde) and back.get_params() == kde.get_params() and back.note == "kept"
    assert back.__sklearn_is_fitted__() == fitted
    if fitted:
        assert np.array_equal(back.score_samples(x), kde.score_samples(x)) and back.bandwidth_ == 0.1


@pytest.mark.parametrize("fitted", [
    None, (None, 1.0, 3, None), ("tree", 1.0, 3, None), ("kd", -1.0, 3, None), ("kd", 1.0, 2, None),
    ("kd", 1.0, 3, [1.0]),
])
def test_a_pickle_that_does_not_describe_a_fit_is_refused(fitted):
    tree = ts.spatial.KDTree.from_array(ts.Array.from_numpy(clustered(10)))
    state = ({}, tuple(tree if v == "kd" else v for v in fitted) if fitted else "bad")
    with pytest.raises(ValueError, match="Invalid pickled KernelDensity state|sample_weight"):
        ts._rebuild_kernel_density(*state)


@pytest.mark.filterwarnings("ignore::UserWarning")  # not derived from BaseEstimator; a check skipped
def test_scikit_learn_estimator_checks_pass():
    checks = peer("sklearn.utils.estimator_checks")
    results = checks.check_estimator(KDE(), on_fail=None)
    failed = [(r["check_name"], str(r["exception"])) for r in results if r["status"] == "failed"]
    assert failed == [] and len(results) > 40


def test_grid_search_chooses_the_bandwidth_that_scores_best():
    model_selection = peer("sklearn.model_selection")
    base = peer("sklearn.base")
    x = np.random.default_rng(0).normal(size=(400, 2))
    search = model_selection.GridSearchCV(KDE(), {"bandwidth": [0.02, 0.3, 5.0]}, cv=4).fit(x)
    assert search.best_params_ == {"bandwidth": 0.3}
    assert isinstance(search.best_estimator_, KDE) and search.best_estimator_.bandwidth_ == 0.3
    copy = base.clone(KDE(bandwidth=0.5, tree="vp"))
    assert repr(copy) == "KernelDensity(bandwidth=0.5, tree='vp')" and not copy.__sklearn_is_fitted__()


def test_repeated_calls_do_not_leak():
    # Blocks held after a second round of every call, failing ones included
    # (the first round fills CPython's caches): a block kept by any one of the
    # calls would be 2000.
    import gc
    import sys
    x = clustered(60, 2)
    kde = KDE(bandwidth=0.5, tree="ball").fit(x, sample_weight=np.ones(60))
    state = kde.__reduce__()
    calls = [lambda: kde.fit(x, sample_weight=[1.0] * 60), lambda: kde.fit("x"), lambda: kde.fit(x[:, :1], None, "x"),
             lambda: kde.score_samples(x), lambda: kde.score_samples([[1.0]]), lambda: kde.score(x.tolist()),
             kde.get_params, lambda: kde.set_params(bandwidth=0.5), lambda: kde.set_params(bandwith=1),
             lambda: state[0](*state[1]), lambda: repr(kde), lambda: KDE(bandwidth=2),
             lambda: kde.sample(10, random_state=1), lambda: kde.sample(2, random_state="x")]
    refs = [sys.getrefcount(o) for o in (kde, x)]

    def every_call():
        for c in calls:
            try:
                c()
            except (ValueError, TypeError):
                pass

    for _ in range(2000):
        every_call()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(2000):
        every_call()
    gc.collect()
    assert sys.getallocatedblocks() - before < 1000
    assert [sys.getrefcount(o) for o in (kde, x)] == refs


# ---- sampling ---------------------------------------------------------------

@pytest.mark.parametrize("kernel", KERNELS)
@pytest.mark.parametrize("dim", [1, 3])
def test_samples_have_the_kernels_moments(kernel, dim):
    # Around one point: mean 0, and each coordinate's second moment h^2 E[r^2] / dim
    # with r's density proportional to K(r) r^(dim - 1).
    integrate = peer("scipy.integrate")
    h, top = 0.5, np.inf if kernel in ("gaussian", "exponential") else 1
    moment = [integrate.quad(lambda r: PROFILES[kernel](np.float64(r)) * r ** (dim - 1 + k), 0, top)[0] for k in (0, 2)]
    s = KDE(bandwidth=h, kernel=kernel).fit(np.zeros((1, dim))).sample(200_000, random_state=1)
    assert s.shape == (200_000, dim)
    assert np.all(np.abs(s.mean(axis=0)) < 0.01 * h * (1 + 3 * (kernel == "exponential")))
    assert (s ** 2).mean() == pytest.approx(h * h * moment[1] / moment[0] / dim, rel=0.02)
    if top == 1:
        assert np.sqrt((s ** 2).sum(axis=1)).max() < h


def test_samples_pick_points_by_weight_and_are_reproducible():
    kde = KDE(bandwidth=0.1, tree="vp").fit([[0.0], [10.0], [20.0]], sample_weight=[1.0, 0.0, 3.0])
    s = kde.sample(40_000, random_state=5)[:, 0]
    assert abs((s > 15).mean() - 0.75) < 0.01 and not np.any(np.abs(s - 10) < 3)
    assert np.array_equal(kde.sample(7, random_state=5), s[:7, None])
    g, h = ts.random.seed(3), ts.random.seed(3)
    first = kde.sample(5, random_state=g)
    assert not np.array_equal(kde.sample(5, random_state=g), first)  # the Generator's draws move on
    assert np.array_equal(kde.sample(5, random_state=h), first)


def test_sampling_is_refused_where_it_is_not_defined():
    x = clustered(20)
    with pytest.raises(ValueError, match="^This KernelDensity instance is not fitted yet"):
        KDE().sample()
    with pytest.raises(NotImplementedError, match="euclidean metric only"):
        KDE(metric="manhattan").fit(x).sample()
    with pytest.raises(ValueError, match="^random_state must be None, a seed or a tessaron Generator, not 'x'"):
        KDE().fit(x).sample(random_state="x")
    assert KDE().fit(x).sample(0).shape == (0, 3)
