"""The two-point correlation function of a clustered point set, from pair
counts (count_neighbors), with the Landy-Szalay estimator.

    python examples/two_point_correlation.py [n]

A clustered catalogue D and a uniform random one R of n points each (20,000
by default) in the unit cube: xi(r) = (DD - 2 DR + RR) / RR, each count
normalised by its number of pairs, in bins between log-spaced radii. The
counts are timed against scipy's cKDTree when it is installed (the same
counts, checked). xi is drawn with matplotlib when it is installed (a PNG
whose path is printed), else printed as a table.
"""
import os
import sys
import tempfile
import time

import numpy as np

import tessaron as ts


def clustered(n, rng):
    """Points around 40 centres (Gaussian clusters of spread 0.02), wrapped into the unit cube."""
    centres = rng.random((40, 3))
    return (centres[rng.integers(0, 40, n)] + rng.normal(0.0, 0.02, (n, 3))) % 1.0


def pair_counts(data, random, radii, tree_class, **options):
    """DD, DR and RR per bin (pairs within each radius, less those within the one before)."""
    d, r = tree_class(data), tree_class(random)
    dd = np.diff(np.asarray(d.count_neighbors(d, radii, **options)))
    dr = np.diff(np.asarray(d.count_neighbors(r, radii, **options)))
    rr = np.diff(np.asarray(r.count_neighbors(r, radii, **options)))
    return dd, dr, rr


def main():
    n = next((int(a) for a in sys.argv[1:] if a.isdigit()), 20_000)
    rng = np.random.default_rng(0)
    data, random = clustered(n, rng), rng.random((n, 3))
    radii = np.logspace(-3, -0.7, 16)

    start = time.perf_counter()
    dd, dr, rr = pair_counts(data, random, radii, lambda x: ts.spatial.KDTree.from_array(x, 16), workers=-1)
    ours = time.perf_counter() - start
    xi = (dd - 2 * dr + rr) / np.where(rr > 0, rr, 1)  # the same number of points in D and R
    print(f"pair counts for {len(radii) - 1} bins: {ours:.3f} s with tessaron (all cores)")
    try:
        from scipy.spatial import cKDTree
    except ImportError:
        pass
    else:
        start = time.perf_counter()
        theirs = pair_counts(data, random, radii, lambda x: cKDTree(x, leafsize=16))
        print(f"{time.perf_counter() - start:.3f} s with scipy's cKDTree (one thread); "
              f"the counts are {'the same' if all(map(np.array_equal, theirs, (dd, dr, rr))) else 'DIFFERENT'}")

    middle = np.sqrt(radii[1:] * radii[:-1])
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(f"{'r':>8} {'xi(r)':>10}")
        for r, x in zip(middle, xi):
            print(f"{r:8.4f} {x:10.3f}")
        return
    fig, ax = plt.subplots(figsize=(5.5, 3.8))
    shown = xi > 0
    ax.loglog(middle[shown], xi[shown], "o-", color="#4c72b0")
    ax.set_xlabel("r")
    ax.set_ylabel("xi(r)")
    ax.set_title(f"Two-point correlation of {n} clustered points")
    fig.tight_layout()
    path = os.path.join(tempfile.gettempdir(), "tessaron_two_point.png")
    fig.savefig(path, dpi=110)
    print("correlation plot written to", path)


if __name__ == "__main__":
    main()
