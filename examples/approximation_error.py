"""What kernel_density_approx gives up: its relative error against the exact
density, for each criterion on a clustered data set.

    python examples/approximation_error.py

Prints a Markdown table (the one in the README). Errors are relative to the
exact density at queries where it is at least 1 (a point's own worth), over
500 queries: half on stored points, half anywhere in the unit square.
"""
import numpy as np

import tessaron as ts

CRITERIA = [
    ("none", {}),
    ("min_samples", {"min_samples": 100}),
    ("max_span", {"max_span": 0.01}),
    ("max_span", {"max_span": 0.05}),
    ("max_span", {"max_span": 0.2}),
    ("combined", {"min_samples": 100, "max_span": 0.05}),
]


def clustered(n=20_000, seed=0):
    """Five Gaussian clusters of different spreads in the unit square."""
    rng = np.random.default_rng(seed)
    centres, spreads = rng.random((5, 2)), [0.01, 0.02, 0.05, 0.05, 0.1]
    which = rng.integers(0, 5, n)
    return centres[which] + rng.standard_normal((n, 2)) * np.take(spreads, which)[:, None]


def main():
    x = clustered()
    tree = ts.spatial.KDTree.from_array(ts.Array.from_numpy(x), leaf_size=16)
    queries = np.vstack([x[:250], np.random.default_rng(1).random((250, 2))])  # on and off the clusters
    print("| criterion | parameters | bandwidth | median rel. error | 90th percentile |")
    print("|---|---|---:|---:|---:|")
    for h in (0.02, 0.1):
        exact = tree.kernel_density_batch(queries, h).to_numpy()
        for name, params in CRITERIA[1:]:
            approx = tree.kernel_density_batch(queries, h, criterion=name, **params).to_numpy()
            dense = exact >= 1.0
            error = np.abs(approx[dense] - exact[dense]) / exact[dense]
            shown = ", ".join(f"{k}={v}" for k, v in params.items())
            print(f"| {name} | {shown} | {h} | {np.median(error):.2g} | {np.quantile(error, 0.9):.2g} |")


if __name__ == "__main__":
    main()
