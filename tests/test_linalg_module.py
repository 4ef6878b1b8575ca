"""tessaron.linalg: decompositions against plain reference loops and NumPy, and the module's functions."""
import functools
import math
import operator
import struct
import threading

import numpy as np
import pytest

import tessaron as ts
from conftest import interrupted_promptly

L = ts.linalg


def seq_sum(xs, start=-0.0):
    return functools.reduce(operator.add, xs, start)


def as_lists(x):
    return [list(map(float, row)) for row in x]


def bits_equal(got, expected):
    pack = lambda v: struct.pack(f"<{len(v)}d", *v)
    return pack(np.ravel(got).tolist()) == pack(np.ravel(expected).tolist())


def ref_cholesky(a):
    n = len(a)
    l = [[0.0] * n for _ in range(n)]
    for i in range(n):
        for j in range(i + 1):
            s = seq_sum((l[i][t] * l[j][t] for t in range(j)), 0.0)
            if i == j:
                d = a[i][i] - s
                if d <= 0.0:
                    raise ValueError("Matrix is not positive definite")
                l[i][i] = math.sqrt(d)
            else:
                l[i][j] = (a[i][j] - s) / l[j][j]
    return l


def ref_qr(a):
    m, n = len(a), len(a[0])
    r = [row[:] for row in a]
    q = [[1.0 if i == j else 0.0 for j in range(m)] for i in range(m)]
    for k in range(min(m, n)):
        x = [r[k + i][k] for i in range(m - k)]
        norm = math.sqrt(seq_sum(v * v for v in x))
        if norm < 1e-14:
            continue
        v = x[:]
        v[0] = v[0] + (norm if v[0] >= 0 else -norm)
        vn = math.sqrt(seq_sum(t * t for t in v))
        if vn < 1e-14:
            continue
        v = [t / vn for t in v]
        w = [seq_sum((v[i] * r[k + i][j] for i in range(m - k)), 0.0) for j in range(n)]
        for i in range(m - k):
            for j in range(k, n):
                r[k + i][j] = r[k + i][j] - (v[i] + v[i]) * w[j]
        u = [seq_sum((v[t] * q[i][k + t] for t in range(m - k)), 0.0) for i in range(m)]
        for i in range(m):
            for t in range(m - k):
                q[i][k + t] = q[i][k + t] - (u[i] + u[i]) * v[t]
    for i in range(m):
        for j in range(min(i, n)):
            r[i][j] = 0.0
    return q, r


def ref_matmul(a, b):
    return [[seq_sum(a[i][t] * b[t][j] for t in range(len(b))) for j in range(len(b[0]))]
            for i in range(len(a))]


def ref_eig(a, max_iter, tol):
    n = len(a)
    it, v = [row[:] for row in a], [[1.0 if i == j else 0.0 for j in range(n)] for i in range(n)]
    for _ in range(max_iter):
        q, r = ref_qr(it)
        it, v = ref_matmul(r, q), ref_matmul(v, q)
        off = seq_sum((it[i][j] ** 2 for i in range(n) for j in range(n) if i != j), 0.0)
        if math.sqrt(off) < tol:
            break
    d = [it[i][i] for i in range(n)]
    order = sorted(range(n), key=lambda i: -abs(d[i]))
    return [d[i] for i in order], [[v[i][j] for j in order] for i in range(n)]


def spd(n, seed):
    x = np.random.default_rng(seed).normal(size=(n, n))
    return x @ x.T + n * np.eye(n)


def arr(x):
    return ts.Array.from_numpy(np.ascontiguousarray(x, dtype=float))


def test_all_lists_the_functions_in_order():
    assert L.__all__ == ["matmul", "dot", "transpose", "cholesky", "qr", "eig", "eig_with_params",
                         "eigvals", "diagonal", "outer"]


@pytest.mark.parametrize("n", [1, 2, 3, 8, 17, 40])
def test_cholesky_bit_exact_and_reconstructs(n):
    a = spd(n, n)
    got = L.cholesky(arr(a)).to_numpy()
    assert bits_equal(got, ref_cholesky(as_lists(a)))
    assert np.allclose(got @ got.T, a, rtol=1e-12, atol=1e-12)
    assert np.all(np.triu(got, 1) == 0) and not np.signbit(np.triu(got, 1)).any()


def test_cholesky_hand_worked_and_upper_triangle_ignored():
    expected = [[2.0, 0.0], [1.0, math.sqrt(2.0)]]
    assert L.cholesky(ts.Array([2, 2], [4, 2, 2, 3])).tolist() == expected
    assert L.cholesky(ts.Array([2, 2], [4, 99, 2, 3])).tolist() == expected


@pytest.mark.parametrize("fn, shape, data, message", [
    (L.cholesky, [2, 2], [1, 2, 2, 1], "Matrix is not positive definite"),
    (L.cholesky, [2, 2], [0, 0, 0, 1], "Matrix is not positive definite"),
    (L.cholesky, [2, 3], [1] * 6, "Cholesky decomposition requires a square matrix"),
    (L.cholesky, [4], [1] * 4, "Cholesky decomposition requires a 2D matrix"),
    (L.qr, [4], [1] * 4, "QR decomposition requires a 2D matrix"),
    (L.qr, [1, 1, 1], [1], "QR decomposition requires a 2D matrix"),
    (L.eig, [2, 3], [1] * 6, "Eigendecomposition requires a square matrix"),
    (L.eigvals, [3], [1] * 3, "Eigendecomposition requires a 2D matrix"),
    (L.eig_with_params, [3, 2], [1] * 6, "Eigendecomposition requires a square matrix"),
    (L.diagonal, [3], [1] * 3, "diagonal requires a 2D array"),
])
def test_value_errors_leave_the_input_unchanged(fn, shape, data, message):
    a = ts.Array(shape, data)
    with pytest.raises(ValueError, match=f"^{message}$"):
        fn(a)
    assert a.tolist() == ts.Array(shape, data).tolist()


def test_nan_pivot_passes_on():
    got = L.cholesky(ts.Array([2, 2], [4.0, 0.0, math.nan, 9.0])).tolist()
    assert got[0] == [2.0, 0.0] and math.isnan(got[1][0]) and math.isnan(got[1][1])


@pytest.mark.parametrize("m, n", [(1, 1), (3, 2), (2, 3), (5, 5), (9, 4), (4, 9), (17, 17)])
def test_qr_bit_exact_and_against_numpy(m, n):
    a = np.random.default_rng(m * 31 + n).normal(size=(m, n))
    q, r = (x.to_numpy() for x in L.qr(arr(a)))
    ref_q, ref_r = ref_qr(as_lists(a))
    assert bits_equal(q, ref_q) and bits_equal(r, ref_r)
    assert q.shape == (m, m) and r.shape == (m, n)
    assert np.allclose(q @ r, a, atol=1e-13) and np.allclose(q.T @ q, np.eye(m), atol=1e-13)
    assert np.all(np.tril(r, -1) == 0)
    # No normalisation: the diagonal is minus the sign of the leading entry at each step.
    assert np.allclose(np.abs(r), np.abs(np.linalg.qr(a, mode="complete")[1]), atol=1e-12)


@pytest.mark.parametrize("m, n", [(0, 0), (0, 3), (3, 0)])
def test_empty_matrices(m, n):
    q, r = L.qr(ts.zeros([m, n]))
    assert (q.shape, r.shape) == ([m, m], [m, n]) and q.tolist() == np.eye(m).tolist()
    if m == n:
        assert L.cholesky(ts.zeros([m, n])).shape == [m, n]


def test_qr_hand_worked_and_skipped_column():
    q, r = L.qr(ts.Array([1, 1], [5.0]))
    assert (q.tolist(), r.tolist()) == ([[-1.0]], [[-5.0]])
    q, r = L.qr(ts.eye(2))
    assert q.tolist() == r.tolist() == [[-1.0, 0.0], [0.0, -1.0]]
    a = [[0.0, 1.0], [0.0, 2.0], [0.0, 3.0]]
    q, r = L.qr(arr(a))
    assert [row[0] for row in r.tolist()] == [0.0, 0.0, 0.0]
    assert np.allclose(q.to_numpy() @ r.to_numpy(), a)
    assert bits_equal(r.to_numpy(), ref_qr(a)[1])


@pytest.mark.parametrize("scale", [1e160, 1e200, 1e300])
def test_qr_of_huge_entries_against_numpy(scale):
    a = np.random.default_rng(7).normal(size=(6, 4)) * scale
    q, r = (x.to_numpy() for x in L.qr(arr(a)))
    assert np.all(np.isfinite(q)) and np.all(np.isfinite(r))
    assert np.allclose(q @ r / scale, a / scale, atol=1e-12)
    assert np.allclose(q.T @ q, np.eye(6), atol=1e-12)
    assert np.allclose(np.abs(r) / scale, np.abs(np.linalg.qr(a, mode="complete")[1]) / scale, atol=1e-12)


@pytest.mark.filterwarnings("ignore:eig did not converge")  # short runs, compared step by step
@pytest.mark.parametrize("n, max_iter", [(2, 1000), (3, 40), (5, 25)])
def test_eig_bit_exact_against_the_reference_iteration(n, max_iter):
    a = spd(n, 100 + n) / n
    values, vectors = L.eig_with_params(arr(a), max_iter, 1e-10)
    ref_values, ref_vectors = ref_eig(as_lists(a), max_iter, 1e-10)
    assert bits_equal(values.to_numpy(), ref_values) and bits_equal(vectors.to_numpy(), ref_vectors)


@pytest.mark.parametrize("n", [4, 12])
def test_eig_of_symmetric_matrices(n):
    rng = np.random.default_rng(n)
    basis = np.linalg.qr(rng.normal(size=(n, n)))[0]
    lam = np.arange(1, n + 1) * 1.7 * rng.choice([-1, 1], n)
    a = basis @ np.diag(lam) @ basis.T
    a = (a + a.T) / 2
    values, vectors = (x.to_numpy() for x in L.eig(arr(a)))
    assert np.allclose(values, sorted(lam, key=lambda x: -abs(x)), atol=1e-8)
    assert np.allclose(a @ vectors, vectors * values, atol=1e-8)
    assert np.array_equal(L.eigvals(arr(a)).to_numpy(), values)


def test_eig_special_cases():
    values, vectors = L.eig_with_params(ts.Array([2, 2], [-3.0, 0.0, 0.0, 2.0]))
    assert values.tolist() == [-3.0, 2.0] and vectors.tolist() == [[-1.0, 0.0], [0.0, -1.0]]
    values, vectors = L.eig_with_params(ts.Array([3, 3], [1, 0, 0, 0, -5, 0, 0, 0, 5]), 0)
    assert values.tolist() == [-5.0, 5.0, 1.0]  # ties keep index order
    assert vectors.tolist() == [[0.0, 0.0, 1.0], [1.0, 0.0, 0.0], [0.0, 1.0, 0.0]]
    assert [x.shape for x in L.eig(ts.zeros([0, 0]))] == [[0], [0, 0]]
    assert [x.tolist() for x in L.eig(ts.Array([1, 1], [7.0]))] == [[7.0], [[1.0]]]
    values, vectors = L.eig(ts.Array([2, 2], [2.0, 1.0, 1.0, 2.0]))
    assert values.tolist() == pytest.approx([3.0, 1.0])


@pytest.mark.parametrize("fn", [L.eig, L.eigvals, lambda a: L.eig_with_params(a, 0)])
def test_nan_on_the_diagonal_panics(fn):
    with pytest.raises(ts.PanicException, match=r"^called `Option::unwrap\(\)` on a `None` value$"):
        fn(ts.Array([2, 2], [math.nan, 0.0, 0.0, 1.0]))


@pytest.mark.parametrize("call, exc, pattern", [
    (lambda a: L.eig_with_params(a, tol=None), TypeError, "^argument 'tol': "),
    (lambda a: L.eig_with_params(a, None), TypeError, "^argument 'max_iter': "),
    (lambda a: L.eig_with_params(a, -1), OverflowError, None),
    (lambda a: L.matmul([[1.0]], a), TypeError, "^argument 'a': 'list' object cannot be cast as 'Array'$"),
    (lambda a: L.diagonal(a, 1.0), TypeError, "^argument 'k': "),
])
def test_argument_kinds(call, exc, pattern):
    with pytest.raises(exc, match=pattern):
        call(ts.eye(2))


def test_functions_are_the_array_methods():
    rng = np.random.default_rng(3)
    x, y, v = arr(rng.normal(size=(4, 3))), arr(rng.normal(size=(3, 5))), ts.asarray([1.0, 2.0])
    assert bits_equal(L.dot(x, y).to_numpy(), (x @ y).to_numpy())
    assert bits_equal(L.matmul(x, y).to_numpy(), (x @ y).to_numpy())
    assert L.dot(v, v).tolist() == L.matmul(v, v).tolist() == [5.0]
    assert L.transpose(x).tolist() == x.t().tolist()
    assert L.diagonal(x, -1).tolist() == x.diagonal(-1).tolist() and L.diagonal(x).tolist() == x.diagonal().tolist()
    assert L.outer([1, 2], [3]).tolist() == ts.Array.outer([1, 2], [3]).tolist()


@pytest.mark.parametrize("call", [L.eig, L.eigvals, lambda a: L.eig_with_params(a, 50)])
def test_non_convergence_warns_and_convergence_is_silent(call):
    import warnings
    with pytest.warns(RuntimeWarning, match="did not converge"):
        values = call(ts.Array([2, 2], [0.0, 1.0, 1.0, 0.0]))  # eigenvalues +-1: QR steps never separate them
    assert (values[0] if isinstance(values, tuple) else values).shape == [2]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        call(ts.Array([2, 2], [2.0, 1.0, 1.0, 3.0]))


LINALG_SETUP = """
rng = np.random.default_rng(0)
x = rng.random((2000, 2000))
m = ts.Array.from_numpy(x @ x.T + 2000 * np.eye(2000))
small = ts.Array.from_numpy(rng.random((300, 300)))
before = (m.to_numpy().tobytes(), small.to_numpy().tobytes())
"""


@pytest.mark.parametrize("call", [
    "ts.linalg.eig_with_params(small, 100000, 0.0)", "ts.linalg.eig(m)", "ts.linalg.eigvals(m)",
    "ts.linalg.qr(m)", "[ts.linalg.cholesky(m) for _ in range(100)]", "[ts.linalg.matmul(m, m) for _ in range(20)]",
    "[ts.linalg.dot(m, m) for _ in range(20)]", "[m.matmul(m) for _ in range(20)]", "[m @ m for _ in range(20)]",
])
def test_ctrl_c_stops_long_linear_algebra_promptly(call):
    unchanged = "before == (m.to_numpy().tobytes(), small.to_numpy().tobytes())"
    assert interrupted_promptly(LINALG_SETUP, f"result = {call}", unchanged, 0.3) == ["interrupted", "True", "prompt"]


@pytest.mark.filterwarnings("ignore:eig did not converge")
def test_long_linear_algebra_lets_other_threads_run_and_write():
    x = np.random.default_rng(1).random((600, 600))
    a = ts.Array.from_numpy(x)
    expected = ts.linalg.eig_with_params(ts.Array.from_numpy(x), 30, 0.0)
    writes, running = [0], [True]

    def writer():  # runs only while the GIL is free; writes each element's own value back
        while running[0]:
            a[writes[0] % 600, 0] = x[writes[0] % 600, 0]
            writes[0] += 1

    thread = threading.Thread(target=writer)
    thread.start()
    try:
        got = ts.linalg.eig_with_params(a, 30, 0.0)
    finally:
        running[0] = False
        thread.join()
    assert writes[0] > 0
    assert [r.to_numpy().tobytes() for r in got] == [r.to_numpy().tobytes() for r in expected]
