"""Nearest neighbours and kernel density with the spatial trees.

The density estimate is drawn over a histogram of the sample with matplotlib
when it is installed (a PNG whose path is printed), else printed as a table.
"""
import math
import os
import tempfile

import tessaron as ts

g = ts.random.seed(3)
points = g.uniform(0.0, 1.0, [2000, 2])
for cls in (ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree):
    tree = cls.from_array(points, leaf_size=16, metric="euclidean")
    print(f"{cls.__name__:>8}: 5 nearest to the centre {tree.query_knn([0.5, 0.5], 5)}, "
          f"{len(tree.query_radius([0.5, 0.5], 0.05))} within 0.05")

# A one-dimensional sample from two normals and its Gaussian kernel density.
values = g.normal(-2.0, 0.7, [600]).tolist() + g.normal(1.5, 1.0, [900]).tolist()
sample = ts.asarray(values, [1500, 1])  # 1500 points of one coordinate
tree = ts.spatial.KDTree.from_array(sample, leaf_size=32)
h = 0.3
grid = [-5.0 + 0.1 * i for i in range(91)]
sums = tree.kernel_density(ts.Array([len(grid), 1], grid), bandwidth=h)
assert isinstance(sums, ts.Array)
# The sums are plain kernel values: divide by n h sqrt(2 pi) for a probability density.
density = [s / (1500 * h * math.sqrt(2 * math.pi)) for s in sums.tolist()]

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print(f"{'x':>6} {'density':>8}")
    for x, d in list(zip(grid, density))[::10]:
        print(f"{x:6.1f} {d:8.4f}")
else:
    fig, ax = plt.subplots(figsize=(6, 3.5))
    ax.hist(values, bins=50, density=True, color="#dddddd", label="sample")
    ax.plot(grid, density, color="#c44e52", label=f"Gaussian KDE, h = {h}")
    ax.legend(loc="upper right")
    ax.set_title("Kernel density from tessaron.spatial.KDTree")
    path = os.path.join(tempfile.gettempdir(), "tessaron_density.png")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print("density plot written to", path)
