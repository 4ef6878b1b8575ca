"""Brute-force answers for the spatial trees, with distances summed in the trees' order."""
import importlib
import math

import numpy as np
import pytest


def peer(name):
    """A peer library, or a skip where it cannot be imported (one built for another interpreter, say)."""
    try:
        return importlib.import_module(name)
    except ImportError:
        pytest.skip(f"{name} cannot be imported here")


def minkowski_term(diff, p):
    """|d|^p as the trees form it: a product of p factors left to right for a whole p up to 64, pow otherwise."""
    if p == int(p) and p <= 64:
        t = diff.copy()
        for _ in range(int(p) - 1):
            t = t * diff
        return t
    return np.array([math.pow(x, p) for x in diff.tolist()])


def haversine(a, b):
    """scikit-learn's form, with libm's sin, cos and asin: 2 asin(sqrt(min(h, 1)))."""
    s0, s1 = math.sin(0.5 * (a[0] - b[0])), math.sin(0.5 * (a[1] - b[1]))
    h = s0 * s0 + math.cos(a[0]) * math.cos(b[0]) * s1 * s1
    return 2.0 * math.asin(math.sqrt(min(h, 1.0))) if h == h else math.nan


def distances(points, q, metric):
    """Distance from q to every row, coordinates taken in order from 0.0 (as the trees do).

    `metric`: a name, or ("minkowski", p)."""
    points = np.asarray(points, dtype=float).reshape(len(points), -1)
    if metric == "haversine":
        return np.array([haversine(q, row) for row in points.tolist()])
    if isinstance(metric, tuple):
        p = metric[1]
        s = np.zeros(len(points))
        for i in range(points.shape[1]):
            s = s + minkowski_term(np.abs(q[i] - points[:, i]), p)
        return np.array([math.pow(x, 1.0 / p) for x in s.tolist()])
    s = np.zeros(len(points))
    with np.errstate(over="ignore", invalid="ignore"):  # infinities and NaN are part of the data
        for i in range(points.shape[1]):
            diff = np.abs(q[i] - points[:, i])
            if metric == "euclidean":
                s = s + diff * diff
            elif metric == "manhattan":
                s = s + diff
            else:
                s = np.where(diff > s, diff, s)
    return np.sqrt(s) if metric == "euclidean" else s


@np.errstate(over="ignore", invalid="ignore")
def kernel(name, u):
    u = np.asarray(u, dtype=float)
    if name == "gaussian":
        return np.exp(u * (u * -0.5))
    inside = u < 1.0
    value = {"epanechnikov": 0.75 * (1.0 - u * u), "uniform": np.full_like(u, 0.5), "triangular": 1.0 - u}[name]
    return np.where(inside, value, 0.0)


def check_knn(answer, points, q, k, metric):
    """The answer holds the k smallest distances in ascending order, each row once."""
    d = distances(points, q, metric)
    expected = np.sort(d)[:k]  # NaN after every number
    assert len(answer) == len(expected) and len(set(answer)) == len(answer)
    assert np.array_equal(d[answer], expected, equal_nan=True)
    if len(d) > k and k > 0 and not np.sort(d)[k] == expected[-1] and not np.isnan(expected[-1]):
        assert set(answer) == set(np.argsort(d, kind="stable")[:k])


def radius_set(points, q, r, metric):
    return set(np.nonzero(distances(points, q, metric) <= r)[0].tolist())


def density_bounds(points, q, h, kernel_name, metric):
    """(sum over points at or above the 1e-10 cut, sum over all points): the exact density lies between."""
    values = kernel(kernel_name, distances(points, q, metric) / h)
    big = values[values >= 1e-10]
    return math.fsum(big), math.fsum(values)
