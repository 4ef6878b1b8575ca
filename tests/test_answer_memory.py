"""Large pair and radius answers are gathered in lists freed as the answer is
written, so a call's memory peaks near the answer's own size (a gather-then-
copy layout would hold the answer about twice over, or more)."""
import os
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy")

pytestmark = pytest.mark.skipif(
    "ASAN_OPTIONS" in os.environ or "asan" in os.environ.get("LD_PRELOAD", ""),
    reason="the sanitizer's allocator keeps freed memory",
)

PROGRAM = r"""
import resource, sys
import numpy as np
import tessaron as ts

kind = sys.argv[1]
x = np.random.default_rng(3).random((600_000, 3))
t = ts.spatial.KDTree.from_array(x)
t.query_pairs(0.001, workers=2)  # threads and small blocks made once
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
if kind == "pairs":
    out = t.query_pairs(0.017, workers=2, return_distance=True)
elif kind == "sparse":
    out = t.sparse_distance_matrix(x[:300_000], 0.017, workers=2)
else:
    out = t.query_radius_batch(x[:300_000], 0.017, workers=2, flat=True, return_distance=True)
size = sum(np.asarray(a).nbytes for a in out)
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - base
print(size, peak * 1024)
"""


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="blocks are given back to the system on Linux")
@pytest.mark.parametrize("kind", ["pairs", "sparse", "flat"])
def test_peak_memory_stays_near_the_answer(kind):
    done = subprocess.run([sys.executable, "-c", PROGRAM, kind], capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    size, peak = map(int, done.stdout.split())
    assert size > 50 * 2**20  # large enough for the layout to matter
    assert peak < 1.6 * size, (size, peak)
