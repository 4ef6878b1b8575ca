"""Random sampling: seeded streams and a histogram of gamma samples.

Draws the histogram with matplotlib when it is installed (a PNG whose path is
printed), else prints it as a small text table.
"""
import os
import tempfile

import tessaron as ts

g = ts.random.seed(7)
print("the same seed gives the same stream:",
      g.uniform(0.0, 1.0, [3]).tolist() == ts.random.seed(7).uniform(0.0, 1.0, [3]).tolist())

samples = ts.random.seed(7).gamma(2.0, 1.5, [20_000]).tolist()
edges = [i * 1.0 for i in range(16)]
counts = [sum(lo <= s < lo + 1.0 for s in samples) for lo in edges]

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print(f"{'bin':>8} {'count':>7}")
    for lo, count in zip(edges, counts):
        print(f"{lo:4.0f}-{lo + 1:<3.0f} {count:7d}")
else:
    fig, ax = plt.subplots(figsize=(6, 3.5))
    ax.hist(samples, bins=60, color="#4c72b0")
    ax.set_title("20,000 gamma(2, 1.5) samples from tessaron.random")
    ax.set_xlabel("value")
    path = os.path.join(tempfile.gettempdir(), "tessaron_gamma.png")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print("histogram written to", path)
