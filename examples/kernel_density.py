"""A density estimate whose bandwidth is chosen by cross-validation, with
KernelDensity as a scikit-learn estimator.

    python examples/kernel_density.py [n]

n points (3,000 by default) from a mixture of three 2-D Gaussians. With
scikit-learn installed, GridSearchCV picks the bandwidth by the held-out
log-likelihood (five folds), once with our KernelDensity and once with
scikit-learn's, and the two searches are timed; without it, the same choice
is made by a plain hold-out loop. The chosen density is drawn as contours
over the points, with points sampled from it, when matplotlib is installed
(a PNG whose path is printed); else a few values are printed.
"""
import os
import sys
import tempfile
import time

import numpy as np

from tessaron.spatial import KernelDensity

BANDWIDTHS = np.logspace(-1.5, 0, 12)


def mixture(n, rng):
    centres = np.array([[0.0, 0.0], [3.0, 1.0], [1.0, 3.5]])
    spreads = np.array([0.5, 0.8, 0.3])
    which = rng.integers(0, 3, n)
    return centres[which] + rng.normal(size=(n, 2)) * spreads[which, None]


def choose_bandwidth(x):
    """(bandwidth, seconds, scikit-learn's seconds or None) by five-fold GridSearchCV, or a hold-out loop."""
    try:
        from sklearn.model_selection import GridSearchCV
        from sklearn.neighbors import KernelDensity as ScikitLearnKernelDensity
    except ImportError:
        start = time.perf_counter()
        train, test = x[: len(x) * 4 // 5], x[len(x) * 4 // 5:]
        scores = [KernelDensity(bandwidth=h).fit(train).score(test) for h in BANDWIDTHS]
        return BANDWIDTHS[int(np.argmax(scores))], time.perf_counter() - start, None
    start = time.perf_counter()
    ours = GridSearchCV(KernelDensity(), {"bandwidth": BANDWIDTHS}, cv=5).fit(x)
    ours_time = time.perf_counter() - start
    start = time.perf_counter()
    theirs = GridSearchCV(ScikitLearnKernelDensity(), {"bandwidth": BANDWIDTHS}, cv=5).fit(x)
    theirs_time = time.perf_counter() - start
    assert ours.best_params_ == theirs.best_params_, (ours.best_params_, theirs.best_params_)
    return ours.best_params_["bandwidth"], ours_time, theirs_time


def main():
    n = next((int(a) for a in sys.argv[1:] if a.isdigit()), 3000)
    x = mixture(n, np.random.default_rng(0))
    h, ours, theirs = choose_bandwidth(x)
    print(f"bandwidth {h:.4f} chosen in {ours:.2f} s with tessaron", end="")
    print(f"; {theirs:.2f} s with scikit-learn (the same choice)" if theirs is not None else "")
    kde = KernelDensity(bandwidth=h).fit(x)
    grid = np.stack(np.meshgrid(np.linspace(-2, 5, 120), np.linspace(-2, 5, 120)), axis=-1).reshape(-1, 2)
    density = np.exp(kde.score_samples(grid)).reshape(120, 120)
    drawn = kde.sample(500, random_state=1)
    try:
        import matplotlib
    except ImportError:
        print(f"density at the three centres: {np.exp(kde.score_samples([[0, 0], [3, 1], [1, 3.5]])).round(4)}")
        print(f"mean of 500 points drawn from it: {drawn.mean(axis=0).round(3)}")
        return
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(6, 5.5))
    gx, gy = grid[:, 0].reshape(120, 120), grid[:, 1].reshape(120, 120)
    ax.scatter(x[:, 0], x[:, 1], s=2, color="grey", alpha=0.3, label="data")
    ax.contour(gx, gy, density, levels=10, cmap="viridis", linewidths=1.2)
    ax.scatter(drawn[:, 0], drawn[:, 1], s=5, color="crimson", label="sampled from the estimate")
    ax.set_title(f"gaussian KDE, bandwidth {h:.3f} by cross-validation")
    ax.legend(loc="lower right")
    path = os.path.join(tempfile.gettempdir(), "tessaron_kernel_density.png")
    fig.savefig(path, dpi=100)
    print("density plot written to", path)


if __name__ == "__main__":
    main()
