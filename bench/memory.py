"""Memory of a tree: what a build keeps, and its peak on the way, beside the peers.

    python bench/memory.py [--sizes 1e6,1e7] [--dim 3] [--leaf 16] [--only NAME]

Each build runs in a child process of its own (Linux): the points are made
first (a NumPy array and, for tessaron, the Array made from it), then the
resident set is read, the high-water mark reset (/proc/self/clear_refs) and
the tree built. "kept" is the growth of the resident set once the build has
returned, "peak" the growth of the high-water mark during it; both are also
given as a multiple of the points' own bytes (n x dim x 8). The build's
time is printed too (one build: a rough figure, for builds use bench/run.py).
"""
import argparse
import json
import os
import subprocess
import sys
import time

MiB = 1 << 20


def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(field)


def builders(leaf):
    """name -> (module to import first, needs the Array, build(points, array))."""
    def ours(kind):
        return "tessaron", True, lambda x, a: getattr(sys.modules["tessaron"].spatial, kind).from_array(a, leaf)

    def sklearn(kind):
        return "sklearn.neighbors", False, lambda x, a: getattr(sys.modules["sklearn.neighbors"], kind)(
            x, leaf_size=leaf)

    return {"tessaron KDTree": ours("KDTree"), "tessaron BallTree": ours("BallTree"),
            "tessaron VPTree": ours("VPTree"),
            "scipy cKDTree": ("scipy.spatial", False,
                              lambda x, a: sys.modules["scipy.spatial"].cKDTree(x, leafsize=leaf)),
            "pykdtree KDTree": ("pykdtree.kdtree", False,
                                lambda x, a: sys.modules["pykdtree.kdtree"].KDTree(x, leafsize=leaf)),
            "sklearn KDTree": sklearn("KDTree"), "sklearn BallTree": sklearn("BallTree")}


def child(name, n, dim, leaf):
    import importlib
    import numpy as np
    module, needs_array, build = builders(leaf)[name]
    importlib.import_module(module)  # imported before the measurement starts
    x = np.random.default_rng(0).random((n, dim))
    array = sys.modules["tessaron"].Array.from_numpy(x) if needs_array else None
    before = status("VmRSS")
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # the high-water mark starts again from the current resident set
    start = time.perf_counter()
    tree = build(x, array)
    seconds = time.perf_counter() - start
    print(json.dumps({"kept": status("VmRSS") - before, "peak": status("VmHWM") - before, "seconds": seconds}))
    del tree


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", default="1e6,1e7")
    ap.add_argument("--dim", type=int, default=3)
    ap.add_argument("--leaf", type=int, default=16)
    ap.add_argument("--only", default="", help="run only the builders whose name contains this")
    ap.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        return child(args.child[0], int(float(args.child[1])), args.dim, args.leaf)
    sizes = [int(float(s)) for s in args.sizes.split(",")]
    names = [name for name in builders(args.leaf) if args.only in name]
    print(f"{'tree':<20}{'points':>10}{'points MiB':>12}{'kept MiB':>10}{'x':>6}{'peak MiB':>10}{'x':>6}{'build s':>9}")
    for n in sizes:
        points = n * args.dim * 8
        for name in names:
            out = subprocess.run([sys.executable, __file__, "--child", name, str(n), "--dim", str(args.dim),
                                  "--leaf", str(args.leaf)], capture_output=True, text=True,
                                 env=dict(os.environ, OMP_NUM_THREADS="1"))
            if out.returncode != 0:
                print(f"{name:<20}{n:>10.0e}  failed: {out.stderr.strip().splitlines()[-1:]}")
                continue
            m = json.loads(out.stdout.strip().splitlines()[-1])
            print(f"{name:<20}{n:>10.0e}{points / MiB:>12.0f}{m['kept'] / MiB:>10.0f}{m['kept'] / points:>6.2f}"
                  f"{m['peak'] / MiB:>10.0f}{m['peak'] / points:>6.2f}{m['seconds']:>9.2f}", flush=True)


if __name__ == "__main__":
    main()
