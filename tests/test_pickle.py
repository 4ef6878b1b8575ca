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


def test_private_helpers_are_not_public():
    assert not any(name.startswith("_") for name in ts.__all__)
    assert callable(ts._rebuild_array) and callable(ts._rebuild_tree)


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


HOSTILE = """
import random, struct, sys
import numpy as np
import tessaron as ts
sys.path.insert(0, {tests!r})
from conftest import TREE_CLASSES
from test_pickle import fnv
rng = random.Random(3)
x = ts.Array.from_numpy(np.random.default_rng(1).random((40, 2)))
for build in (cls.from_array for cls in TREE_CLASSES):
    tree = build(x, 3, "euclidean")
    rebuild, (kind, state) = tree.__reduce__()
    for trial in range(300):
        data = bytearray(state[:-8])
        if trial % 3 == 0:
            del data[rng.randrange(len(data)):]
        for _ in range(rng.randint(1, 4)):
            if data:
                data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        for forged in (False, True):  # a forger also fixes the checksum
            payload = bytes(data) + struct.pack("<Q", fnv(data) if forged else fnv(state[:-8]))
            try:
                t = rebuild(kind, payload)
            except ValueError:
                continue
            assert forged or payload == state
            for q in ([0.5, 0.5], [0.0, 1.0]):
                try:
                    t.query_knn(q, 4); t.query_radius(q, 0.3); t.kernel_density(q, 0.2)
                    t.kernel_density_approx(q, 0.2, criterion="min_samples", min_samples=2)
                except (ValueError, ts.PanicException):
                    pass
print("ok")
"""


def test_altered_tree_payloads_are_refused_or_harmless():
    import os
    code = HOSTILE.format(tests=os.path.dirname(__file__))
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr[-2000:]
    assert out.stdout.strip() == "ok"


def test_numpy_array_protocol():
    a = ts.Array([2, 2], [1.0, 2.0, -0.0, PAYLOAD_NAN])
    x = np.asarray(a)
    assert x.dtype == np.float64 and x.shape == (2, 2) and bits(ts.Array.from_numpy(x)) == bits(a)
    assert np.asarray(a, dtype=np.float32).dtype == np.float32
    assert np.linalg.norm(ts.asarray([3.0, 4.0])) == 5.0
    x[0, 0] = 9.0
    assert a[0, 0] == 1.0  # always a copy
    with pytest.raises(ValueError):
        np.array(a, copy=False)
