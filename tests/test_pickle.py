"""Pickling and copying round-trip exactly; hostile payloads are refused or harmless."""
import copy
import math
import pickle
import random
import struct
import subprocess
import sys

import numpy as np
import pytest

import tessaron as ts
from conftest import TREE_BUILDS

PROTOCOLS = list(range(2, pickle.HIGHEST_PROTOCOL + 1))
ROUND_TRIPS = [lambda o, p=p: pickle.loads(pickle.dumps(o, protocol=p)) for p in PROTOCOLS] + [copy.copy, copy.deepcopy]
TREES = [cls.from_array for cls in TREE_BUILDS]


def bits(a):
    return struct.pack(f"<{len(a)}d", *a)


PAYLOAD_NAN = struct.unpack("<d", struct.pack("<Q", 0x7FF8_0000_0000_1234))[0]


@pytest.mark.parametrize("trip", ROUND_TRIPS)
@pytest.mark.parametrize("shape, data", [([2, 3], [1.0, -0.0, PAYLOAD_NAN, math.inf, -math.inf, 5e-324]),
                                         ([], [7.0]), ([0, 4], []), ([4], [0.1, 0.2, 0.3, 0.4])])
def test_array_round_trip_is_bit_exact_and_independent(trip, shape, data):
    a = ts.Array(shape, data)
    b = trip(a)
    assert b is not a and b.shape == a.shape and bits(b) == bits(a)
    if len(b):
        b[(0,) * len(shape)] = 42.0
        assert bits(a) == bits(ts.Array(shape, data))


@pytest.mark.parametrize("trip", ROUND_TRIPS)
def test_generator_continues_its_stream(trip):
    g, reference = ts.random.seed(99), ts.random.seed(99)
    g.normal(0.0, 1.0, [3])
    reference.normal(0.0, 1.0, [3])
    h = trip(g)
    h.uniform(0.0, 1.0, [4])  # the copy draws alone: the original is not moved on
    assert g.gamma(2.0, 1.0, [5]).tolist() == reference.gamma(2.0, 1.0, [5]).tolist()
    assert trip(g).beta(2.0, 3.0, [4]).tolist() == reference.beta(2.0, 3.0, [4]).tolist()


@pytest.mark.parametrize("trip", ROUND_TRIPS)
@pytest.mark.parametrize("build", TREES)
def test_tree_answers_survive(trip, build):
    x = np.random.default_rng(4).random((300, 3))
    tree = build(ts.Array.from_numpy(x), 7, "manhattan")
    other = trip(tree)
    assert type(other) is type(tree) and other is not tree
    for q in np.random.default_rng(5).random((10, 3)).tolist():
        assert other.query_knn(q, 6) == tree.query_knn(q, 6)
        assert other.query_radius(q, 0.4) == tree.query_radius(q, 0.4)
    assert bits(other.kernel_density(bandwidth=0.3)) == bits(tree.kernel_density(bandwidth=0.3))


@pytest.mark.parametrize("call", [
    lambda: ts._rebuild_array([2, 2], b"\0" * 31), lambda: ts._rebuild_array([2, 2], "x" * 32),
    lambda: ts._rebuild_array([2**62, 4], b""), lambda: ts._rebuild_generator(0, 0, 0, 0),
    lambda: ts._rebuild_tree("Forest", b"\0" * 64), lambda: ts._rebuild_tree("KDTree", b""),
])
def test_invalid_states_are_value_errors(call):
    with pytest.raises((ValueError, OverflowError, TypeError)):
        call()


def fnv(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def stored_points(payload):
    """The points (in input-row order) and metric a tree state holds."""
    n, dim, metric = struct.unpack_from("<3Q", payload, 8)
    coords = np.frombuffer(payload, "<f8", n * dim, 8 * 5).reshape(n, dim)
    rows = np.frombuffer(payload, "<u8", n, 8 * 6 + 8 * n * dim)
    points = np.empty_like(coords)
    points[rows] = coords
    return points, ["euclidean", "manhattan", "chebyshev"][metric]


# Forged states (checksum recomputed, as a forger would): altered boxes,
# centroids, radii, shells, vantage points, metric and structure. Each either
# fails to load or answers as brute force does on the points it holds.
HOSTILE = """
import random, struct, sys
import numpy as np
import tessaron as ts
sys.path.insert(0, {tests!r})
from conftest import TREE_BUILDS
from spatial_reference import check_knn, radius_set
from test_pickle import fnv, stored_points
rng = random.Random(3)
x = ts.Array.from_numpy(np.random.default_rng(1).integers(0, 4, (40, 2)).astype(float))
loaded = 0
for cls in TREE_BUILDS:
    for metric in ("euclidean", "manhattan", "chebyshev"):
        rebuild, (kind, state) = cls.from_array(x, 3, metric).__reduce__()
        for trial in range(150):
            data = bytearray(state[:-8])
            for _ in range(rng.randint(1, 3)):
                at = rng.randrange(len(data)) if trial % 2 else rng.randrange(8 * 6 + 8 * 80 + 8 * 41, len(data))
                data[at] ^= 1 << rng.randrange(8)
            if trial % 10 == 0:
                data[24] = rng.randrange(3)  # another metric
            payload = bytes(data) + struct.pack("<Q", fnv(data))
            try:
                t = rebuild(kind, payload)
            except ValueError:
                continue
            loaded += 1
            points, m = stored_points(payload)
            for q in (np.array([0.5, 1.5]), np.array([3.0, 0.0])):
                for k in (1, 5):
                    check_knn(t.query_knn(q.tolist(), k), points, q, k, m)
                assert set(t.query_radius(q.tolist(), 1.0)) == radius_set(points, q, 1.0, m)
print("ok", loaded)
"""


def test_forged_tree_states_are_refused_or_answer_truly():
    import os
    code = HOSTILE.format(tests=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr[-2000:]
    assert out.stdout.startswith("ok")


def forged(kind, payload):
    return kind, bytes(payload) + struct.pack("<Q", fnv(payload))


def chain_state(nodes, magic):
    """A KD-tree state whose nodes nest as a chain: each splits one point off."""
    n, count = nodes + 1, 2 * nodes + 1
    ranges = [v for i in range(nodes) for v in (i, n, 2 * i + 2, i, i + 1, 0)] + [nodes, n, 0]
    return b"".join([  # node 2i: [i, n), split into a leaf [i, i + 1) and the next link
        struct.pack("<4Q", magic, n, 1, 0), struct.pack("<Q", n), struct.pack(f"<{n}d", *range(n)),
        struct.pack("<Q", n), struct.pack(f"<{n}Q", *range(n)), struct.pack("<Q", count),
        struct.pack(f"<{3 * count}Q", *ranges), struct.pack("<Q", 2 * count),
        struct.pack(f"<{2 * count}d", *[v for _ in range(count) for v in (0.0, float(n))]),
        struct.pack("<Q", count), struct.pack(f"<{count}Q", *[0] * count),
        struct.pack("<Q", count), struct.pack(f"<{count}d", *[0.0] * count)])


CRAFTED = """
import struct, sys
sys.path.insert(0, {tests!r})
import tessaron as ts
from test_pickle import chain_state, forged
for nodes in (3, 60000):
    try:
        t = ts._rebuild_tree(*forged("KDTree", chain_state(nodes, 0x3130304b44545354)))
    except ValueError as e:
        print(e)
    else:
        t.query_knn([0.5], 1)
        print("loaded")
"""


def test_a_state_that_is_no_balanced_tree_is_refused():
    import os
    out = subprocess.run([sys.executable, "-c", CRAFTED.format(tests=os.path.dirname(__file__))],
                         capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr[-2000:]
    assert out.stdout.splitlines() == ["Invalid pickled tree state: children do not split their parent as a build does"] * 2


def test_numpy_array_protocol():
    a = ts.Array([2, 2], [1.0, 2.0, -0.0, PAYLOAD_NAN])
    x = np.asarray(a)
    assert x.dtype == np.float64 and x.shape == (2, 2) and bits(ts.Array.from_numpy(x)) == bits(a)
    assert np.asarray(a, dtype=np.float32).dtype == np.float32
    assert np.linalg.norm(ts.asarray([3.0, 4.0])) == 5.0
    copied, viewed = np.array(a), np.array(a, copy=False)
    x[0, 0] = 9.0  # a view: the Array's own memory
    assert a[0, 0] == 9.0 and viewed[0, 0] == 9.0 and copied[0, 0] == 1.0
    assert np.shares_memory(a.__array__(), x) and not np.shares_memory(a.__array__(copy=True), x)
    assert a.__array__(np.float32).dtype == np.float32
    with pytest.raises(ValueError, match="Unable to avoid copy"):
        a.__array__(np.float32, copy=False)