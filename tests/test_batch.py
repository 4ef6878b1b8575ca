"""Batch queries: each row is the single query's answer, for every input form
and number of workers; errors, threads, the GIL, interrupts and fork."""
import os
import pickle
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import tessaron as ts
from conftest import interrupted_promptly
from conftest import TREE_BUILDS, TREE_CLASSES
from spatial_reference import distances

METRICS = ["euclidean", "manhattan", "chebyshev"]


def points(n=400, dim=3, seed=0):
    rng = np.random.default_rng(seed)
    x = rng.integers(0, 8, (n, dim)).astype(float)  # many ties
    x[: n // 2] += rng.random((n // 2, dim))
    return x


def tree_of(cls, x, metric="euclidean", leaf_size=5):
    return cls.from_array(ts.Array.from_numpy(np.ascontiguousarray(x)), leaf_size, metric)


def queries(count=60, dim=3, seed=1):
    return np.random.default_rng(seed).random((count, dim)) * 9 - 0.5


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("k", [0, 1, 7, 500])
def test_knn_rows_are_the_single_answers(cls, metric, k):
    x, q = points(), queries()
    q[::7] = x[:: 7][: len(q[::7])]  # queries on stored points too
    tree = tree_of(cls, x, metric)
    d, i = tree.query_knn_batch(q, k, workers=3)
    width = min(k, len(x))
    assert d.shape == [len(q), width] and i.shape == (len(q), width) and i.format == "q"
    rows = i.tolist()
    for r, query in enumerate(q):
        assert rows[r] == tree.query_knn(query.tolist(), k)
        assert d.to_numpy()[r].tolist() == distances(x, query, metric)[rows[r]].tolist()


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
def test_radius_lists_are_the_single_answers(cls, metric):
    x, q = points(), queries()
    tree = tree_of(cls, x, metric)
    for radius in (0.0, 0.7, 2.0):
        got = tree.query_radius_batch(q, radius, workers=2)
        assert got == [tree.query_radius(query.tolist(), radius) for query in q]


CRITERIA = [{}, {"criterion": "min_samples", "min_samples": 6}, {"criterion": "max_span", "max_span": 1.5},
            {"criterion": "combined", "min_samples": 3, "max_span": 3.0}]


@pytest.mark.parametrize("cls", TREE_BUILDS)
@pytest.mark.parametrize("metric", METRICS)
@pytest.mark.parametrize("kernel", ["gaussian", "epanechnikov", "uniform", "triangular"])
@pytest.mark.parametrize("criterion", CRITERIA, ids=lambda c: c.get("criterion", "none"))
def test_density_elements_are_the_single_answers(cls, metric, kernel, criterion):
    x, q = points(150), queries(20)
    tree = tree_of(cls, x, metric)
    got = tree.kernel_density_batch(q, 1.3, kernel, workers=2, **criterion)
    assert got.shape == [len(q)]
    expected = [tree.kernel_density_approx(row.tolist(), 1.3, kernel, **criterion) for row in q]
    assert got.to_numpy().tobytes() == np.array(expected).tobytes()
    own = tree.kernel_density_batch(None, 1.3, kernel, workers=3, **criterion)
    assert own.to_numpy().tobytes() == tree.kernel_density_approx(None, 1.3, kernel, **criterion).to_numpy().tobytes()
    assert tree.kernel_density_batch(q[:1], 1.3, kernel, **criterion).shape == [1]


@pytest.mark.parametrize("cls", TREE_CLASSES)
def test_answers_do_not_depend_on_the_workers(cls):
    x = np.random.default_rng(3).random((3000, 4))
    x[::5, 2] = np.nan  # NaN coordinates (which only the VP-tree splits) must not make threads differ
    # More than one block of queries reordered for locality (fewer for the slower VP search with NaN).
    q = np.random.default_rng(4).random((8_000 if cls is ts.spatial.VPTree else 70_000, 4))
    tree = tree_of(cls, x if cls is ts.spatial.VPTree else np.nan_to_num(x), "chebyshev")
    answers = []
    for workers in (1, 2, 5, -1):
        d, i = tree.query_knn_batch(q, 9, workers=workers)
        answers.append((d.to_numpy().tobytes(), np.asarray(i).tobytes(),
                        tree.query_radius_batch(q[:5000], 0.2, workers=workers),
                        tree.kernel_density_batch(q[:5000], 0.3, "epanechnikov", workers=workers).to_numpy().tobytes()))
    assert all(a == answers[0] for a in answers)
    rows, near = np.frombuffer(answers[0][1], np.int64).reshape(len(q), 9), answers[0][2]
    for r in range(0, len(q), 997):  # each answer in its own row, whatever the order of the search
        assert rows[r].tolist() == tree.query_knn(q[r].tolist(), 9)
        assert r >= len(near) or near[r] == tree.query_radius(q[r].tolist(), 0.2)


DTYPES = [np.float32, np.float16, np.int64, np.int8, np.uint16, np.bool_, ">f8", "<i4", np.longdouble]


@pytest.mark.parametrize("dtype", DTYPES, ids=str)
def test_numpy_inputs_of_every_real_dtype_and_layout(dtype):
    tree = tree_of(ts.spatial.KDTree, points())
    raw = np.random.default_rng(5).random((40, 3)) * 8
    for layout in (lambda a: a, np.asfortranarray, lambda a: np.repeat(a, 2, axis=1)[::2, ::2][:, ::-1][:, ::-1]):
        q = layout(raw.astype(dtype))
        expected = q.astype(np.float64)
        d, i = tree.query_knn_batch(q, 4)
        assert i.tolist() == [tree.query_knn(row.tolist(), 4) for row in expected]
        assert tree.query_radius_batch(q, 1.5) == tree.query_radius_batch(expected, 1.5)


def test_arrays_lists_and_empty_batches():
    x = points()
    tree = tree_of(ts.spatial.BallTree, x)
    q = queries(5)
    from_list = tree.query_knn_batch(q.tolist(), 3)
    from_array = tree.query_knn_batch(ts.Array.from_numpy(q), 3)
    assert from_list[0].tolist() == from_array[0].tolist() and from_list[1].tolist() == from_array[1].tolist()
    assert tree.query_radius_batch([tuple(r) for r in q], 1.0) == tree.query_radius_batch(q, 1.0)
    assert tree.query_radius_batch([ts.asarray(r.tolist()) for r in q], 1.0) == tree.query_radius_batch(q, 1.0)
    for empty in ([], np.zeros((0, 3)), ts.zeros([0, 3])):
        d, i = tree.query_knn_batch(empty, 4)
        assert d.shape == [0, 4] and i.shape == (0, 4) and np.asarray(i).shape == (0, 4) and i.tolist() == []
        assert tree.query_radius_batch(empty, 1.0) == [] and tree.kernel_density_batch(empty).shape == [0]
    d, i = tree_of(ts.spatial.KDTree, np.zeros((0, 3))).query_knn_batch(q, 4)
    assert d.shape == [5, 0] and i.tolist() == [[]] * 5


def test_indices_are_a_matrix_that_numpy_shares_and_pickle_carries():
    tree = tree_of(ts.spatial.VPTree, points())
    _, i = tree.query_knn_batch(queries(), 3)
    expected = [tree.query_knn(list(q), 3) for q in queries()]
    a, b = np.asarray(i), np.asarray(memoryview(i))
    assert a.dtype == np.int64 and np.shares_memory(a, b) and a.tolist() == expected
    assert i.tolist() == list(i) == [i[r] for r in range(len(i))] == expected
    assert (i.shape, len(i), i[-1, -1], i[2, 0]) == ((60, 3), 60, expected[-1][-1], expected[2][0])
    assert all(type(v) is int for row in i.tolist() for v in row)
    assert repr(i).startswith(f"IndexMatrix(shape=(60, 3), rows=[{expected[0]}, ") and repr(i).endswith(", ...])")
    data = pickle.dumps(i)
    back = pickle.loads(data)
    assert type(back) is type(i) and back == i and not back != i and len(data) < 60 * 3 * 8 + 120
    assert back != pickle.loads(pickle.dumps(tree.query_knn_batch(queries(seed=2), 3)[1]))
    assert pickle.loads(pickle.dumps(type(i))) is ts.spatial.IndexMatrix
    with pytest.raises(IndexError):
        i[60]
    with pytest.raises(ValueError, match="Invalid pickled index matrix state: 8 bytes for a matrix of 2 x 1"):
        ts._rebuild_index_matrix(2, 1, b"\0" * 8)


def knn_rows(tree, q):
    return tree.query_knn_batch(q, 2)[1]


def test_indices_come_back_from_worker_processes():
    import multiprocessing
    tree = tree_of(ts.spatial.KDTree, points())
    chunks = [queries(count=10, seed=s) for s in range(3)]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        rows = pool.starmap(knn_rows, [(tree, q) for q in chunks])
    assert rows == [knn_rows(tree, q) for q in chunks]


P = ts.PanicException
BAD = [  # (queries, k, keywords, exception, message pattern)
    (np.zeros((4, 2)), 1, {}, ValueError, "^Query dimension 2 doesn't match tree dimension 3$"),
    ([[0.0, 0.0, 0.0], [0.0, 0.0]], 1, {}, ValueError, "^Query dimension 2 doesn't match tree dimension 3$"),
    (ts.zeros([2, 4]), 1, {}, ValueError, "^Query dimension 4 doesn't match tree dimension 3$"),
    (np.zeros(3), 1, {}, ValueError, "^queries must be a 2D array$"),
    ([0.5, 0.5, 0.5], 1, {}, ValueError, "^queries must be a 2D array$"),
    ([ts.zeros([1, 3])], 1, {}, ValueError, "^queries must be a 2D array$"),
    (ts.zeros([3]), 1, {}, ValueError, "^queries must be a 2D array$"),
    (np.zeros((2, 2, 3)), 1, {}, ValueError, "^queries must be a 2D array$"),
    (np.zeros((2, 3), complex), 1, {}, TypeError, "^queries must hold real numbers, not buffer format 'Zd'$"),
    ([["a", "b", "c"]], 1, {}, TypeError, None),
    (0.5, 1, {}, TypeError, None),
    (np.zeros((2, 3)), 1, {"workers": 0}, ValueError, "^workers must be a positive integer or -1$"),
    (np.zeros((2, 3)), 1, {"workers": -2}, ValueError, "^workers must be a positive integer or -1$"),
    (np.zeros((2, 3)), 1, {"workers": 1.5}, TypeError, "^argument 'workers': "),
    (np.zeros((2, 3)), -1, {}, OverflowError, None),
]


@pytest.mark.parametrize("cls", TREE_CLASSES)
@pytest.mark.parametrize("q, k, keywords, exc, pattern", BAD)
def test_failures_leave_the_tree_as_it_was(cls, q, k, keywords, exc, pattern):
    tree = tree_of(cls, points())
    before = tree.__reduce__()
    with pytest.raises(exc, match=pattern):
        tree.query_knn_batch(q, k, **keywords)
    if k >= 0:
        with pytest.raises(exc, match=pattern):
            tree.query_radius_batch(q, 1.0, **keywords)
        with pytest.raises(exc, match=pattern):
            tree.kernel_density_batch(q, 1.0, **keywords)
    assert tree.__reduce__() == before


@pytest.mark.parametrize("keywords, message", [
    ({"kernel": "box"}, "^Unknown kernel type 'box'"), ({"criterion": "most"}, "^Unknown approximation criterion 'most'"),
    ({"criterion": "max_span"}, "^max_span parameter required for 'max_span' criterion$"),
    ({"bandwidth": 0.0}, "^bandwidth must be a positive number$"),
])
def test_density_option_errors_are_the_single_method_errors(keywords, message):
    tree = tree_of(ts.spatial.BallTree, points())
    for call in (tree.kernel_density_batch, tree.kernel_density_approx):
        with pytest.raises(ValueError, match=message):
            call(np.zeros((2, 4)), **keywords)  # before the queries are read


def test_python_threads_share_a_tree_and_run_while_it_searches():
    x = np.random.default_rng(6).random((200_000, 3))
    tree = tree_of(ts.spatial.KDTree, x, leaf_size=20)
    q = np.random.default_rng(7).random((100_000, 3))
    expected = tree.query_knn_batch(q, 5)[1].tolist()
    results, ticks, running = {}, [0], [True]

    def count():  # pure Python: progresses only while the GIL is free
        while running[0]:
            ticks[0] += 1

    def search(name):
        results[name] = tree.query_knn_batch(q, 5, workers=2)[1].tolist()

    counter = threading.Thread(target=count)
    counter.start()
    searchers = [threading.Thread(target=search, args=(n,)) for n in range(3)]
    for t in searchers:
        t.start()
    before = ticks[0]
    for t in searchers:
        t.join()
    running[0] = False
    counter.join()
    assert all(r == expected for r in results.values()) and len(results) == 3
    assert ticks[0] > before + 1000


SEARCH_SETUP = """
x = np.random.default_rng(0).random((300_000, 3))
tree = ts.spatial.KDTree.from_array(ts.Array.from_numpy(x))
q = np.random.default_rng(1).random((20_000_000, 3))
"""
TREE_USABLE = "tree.query_knn([0.5, 0.5, 0.5], 2) == tree.query_knn_batch([[0.5, 0.5, 0.5]], 2)[1].tolist()[0]"


@pytest.mark.parametrize("setup, call", [
    ("", "tree.query_knn_batch(q, 8, workers=1)"), ("", "tree.query_radius_batch(q, 0.05, workers=2)"),
    ("", "tree.kernel_density_batch(q, 0.5, workers=2)"), ("", "tree.kernel_density(None, 0.5)"),
    ("", "tree.query_radius_batch(q, 0.02, workers=2, count_only=True)"),
    ("", "tree.count_neighbors(q, [0.01, 0.1, 0.3], workers=2)"), ("pairs = ts.spatial.KDTree.from_array(q[:4_000_000])", "pairs.query_pairs(0.014, workers=2)"),
    ("", "tree.sparse_distance_matrix(q, 0.01)"), ("graph = ts.spatial.KDTree.from_array(q[:2_000_000])", "graph.query_knn_batch(None, 50, workers=2)"),
    ("", "tree.kernel_density_approx(ts.Array.from_numpy(q[:100_000]), 0.5)"),
    ("kde = ts.spatial.KernelDensity(bandwidth=0.5, workers=2).fit(x)", "kde.score_samples(q)"),
    ("", "ts.spatial.VPTree.from_array(ts.Array.from_numpy(q[:4_000_000]))"),
    # Builds whose first splits take seconds, and queries that each visit millions of points.
    ("big = ts.Array.from_numpy(q.reshape(-1, 2))", "ts.spatial.VPTree.from_array(big)"),
    ("big = ts.Array.from_numpy(q.reshape(-1, 2))", "ts.spatial.KDTree.from_array(big)"),
    ("ball = ts.spatial.BallTree.from_array(ts.Array.from_numpy(q[:3_000_000]))",
     "ball.kernel_density_batch(q, 100.0, workers=2)"),
    ("vp = ts.spatial.VPTree.from_array(ts.Array.from_numpy(q[:4_000_000]))",
     "vp.query_knn_batch(np.full((1000, 3), np.nan), 4, workers=2)"),
])
def test_ctrl_c_abandons_the_call_promptly_and_the_tree_stays_usable(setup, call):
    assert interrupted_promptly(SEARCH_SETUP + setup, call, TREE_USABLE, 1.0) == ["interrupted", "True", "prompt"]


FORK = """
import os, numpy as np, tessaron as ts
tree = ts.spatial.BallTree.from_array(ts.Array.from_numpy(np.random.default_rng(0).random((5000, 3))))
q = np.random.default_rng(1).random((4000, 3))
expected = tree.query_knn_batch(q, 4, workers=2)[1].tolist()
pid = os.fork()
if pid == 0:
    ok = tree.query_knn_batch(q, 4, workers=2)[1].tolist() == expected
    os._exit(0 if ok else 1)
_, status = os.waitpid(pid, 0)
print("child", os.waitstatus_to_exitcode(status))
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="no fork here")
def test_a_forked_child_runs_parallel_batches():
    out = subprocess.run([sys.executable, "-c", FORK], capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["child", "0"]



FORK_IN_HANDLER = """
import os, signal, threading, numpy as np, tessaron as ts
children = []
def fork(signum, frame):  # runs inside the batch's interrupt poll
    pid = os.fork()
    if pid:
        children.append(pid)
signal.signal(signal.SIGUSR1, fork)
rng = np.random.default_rng(0)
tree = ts.spatial.KDTree.from_array(ts.Array.from_numpy(rng.random((100_000, 3))))
q = rng.random((2_000_000, 3))
threading.Timer(0.3, lambda: os.kill(os.getpid(), signal.SIGUSR1)).start()
try:
    rows = np.asarray(tree.query_knn_batch(q, 4, workers={workers})[1])
    outcome = str(np.array_equal(rows[::1000], np.asarray(tree.query_knn_batch(q[::1000], 4)[1])))
except RuntimeError as e:
    outcome = str(e)
if not children:
    print("child:", outcome, flush=True)
    os._exit(0)
_, status = os.waitpid(children[0], 0)
print("parent:", outcome, os.waitstatus_to_exitcode(status))
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="no fork here")
@pytest.mark.parametrize("workers, child", [
    (1, "child: True"),  # one thread: the child finishes the batch
    (2, "child: the process was forked while this batch ran on helper threads, which the child does not have: "
        "the batch is abandoned in the child"),
])
def test_a_child_forked_by_a_signal_handler_during_a_batch_never_waits_for_missing_threads(workers, child):
    proc = subprocess.Popen([sys.executable, "-c", FORK_IN_HANDLER.format(workers=workers)], text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)  # the hanging child too
        raise
    assert proc.returncode == 0, err
    assert out.splitlines() == [child, "parent: True 0"]

DAEMON = """
import signal, sys, threading, time
import numpy as np
import tessaron as ts
rng = np.random.default_rng(0)
tree = ts.spatial.KDTree.from_array(ts.Array.from_numpy(rng.random((200_000, 3))))
q = rng.random((2_000_000, 3))
big = ts.Array.from_numpy(rng.random((3_000_000, 3)))
threading.Thread(target=lambda: {call}, daemon=True).start()
time.sleep(0.5)
if {by_ctrl_c}:
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.raise_signal(signal.SIGINT)
sys.exit(3)
"""


@pytest.mark.parametrize("by_ctrl_c", [False, True])
@pytest.mark.parametrize("call", [
    "tree.query_knn_batch(q, 8, workers=1)", "tree.query_knn_batch(q, 8, workers=2)",
    "ts.spatial.VPTree.from_array(big)", "tree.kernel_density(None, 0.5)",
])
def test_a_script_ends_normally_while_a_daemon_thread_is_in_a_call(call, by_ctrl_c):
    out = subprocess.run([sys.executable, "-c", DAEMON.format(call=call, by_ctrl_c=by_ctrl_c)],
                         capture_output=True, text=True, timeout=120)
    assert out.returncode == (-signal.SIGINT if by_ctrl_c else 3), out.stderr


@pytest.mark.parametrize("n, call", [
    (2_000_000, lambda a: ts.spatial.KDTree.from_array(a, 16)), (2_000_000, lambda a: ts.spatial.VPTree.from_array(a, 16)),
    (400_000, lambda a: SMALL_TREE.query_knn_batch(a, 2, workers=2)), (400_000, lambda a: SMALL_TREE.kernel_density(a, 0.01)),
])
def test_another_thread_writes_to_the_input_meanwhile(n, call):
    # The input is copied before the GIL is let go: the writer neither fails
    # nor changes the answer (it writes each element's own value back).
    x = np.random.default_rng(9).random((n, 3))
    a = ts.Array.from_numpy(x)
    writes, errors, running = [0], [], [True]

    def writer():
        while running[0]:
            i = writes[0] % len(x)
            try:
                a[i, 1] = x[i, 1]
            except Exception as e:  # noqa: BLE001 - any failure is the finding
                errors.append(e)
                return
            writes[0] += 1

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        before = writes[0]
        result = call(a)
        during = writes[0] - before
    finally:
        running[0] = False
        thread.join()
    assert errors == [] and during > 0
    expected = call(ts.Array.from_numpy(x))
    if isinstance(result, tuple):
        assert result[0].tolist() == expected[0].tolist() and result[1].tolist() == expected[1].tolist()
    elif isinstance(result, ts.Array):
        assert result.to_numpy().tobytes() == expected.to_numpy().tobytes()
    else:
        assert pickle.dumps(result) == pickle.dumps(expected)


SMALL_TREE = ts.spatial.KDTree.from_array(ts.Array.from_numpy(np.random.default_rng(8).random((2000, 3))))
