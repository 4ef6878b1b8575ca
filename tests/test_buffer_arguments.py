"""Wherever an Array is taken, a buffer of real numbers (NumPy arrays of any real
dtype and layout, array.array, memoryview) gives what its Array.from_numpy gives."""
import array
import pickle

import numpy as np
import pytest

import tessaron as ts

MATRIX = np.array([[4.0, 1.0, 2.0], [1.0, 5.0, 3.0], [2.0, 3.0, 6.0]])  # symmetric positive definite
VECTOR = np.array([3.0, -1.0, 2.0])

LAYOUTS = {
    "float64": lambda x: x, "float32": lambda x: x.astype(np.float32), "int64": lambda x: x.astype(np.int64),
    "fortran": np.asfortranarray, "big-endian": lambda x: x.astype(">f8"),
    "reversed": lambda x: np.ascontiguousarray(x[::-1])[::-1],  # negative strides over the same values
    "strided": lambda x: np.repeat(x, 2, axis=-1)[..., ::2],
}

CALLS = {  # name -> call(c, m, v) with c turning a NumPy array into the argument form under test
    "linalg.matmul": lambda c, m, v: ts.linalg.matmul(c(m), c(m)),
    "linalg.dot": lambda c, m, v: ts.linalg.dot(c(v), c(v)),
    "linalg.transpose": lambda c, m, v: ts.linalg.transpose(c(m)),
    "linalg.cholesky": lambda c, m, v: ts.linalg.cholesky(c(m)),
    "linalg.qr": lambda c, m, v: ts.linalg.qr(c(m)),
    "linalg.eig": lambda c, m, v: ts.linalg.eig(c(m)),
    "linalg.eig_with_params": lambda c, m, v: ts.linalg.eig_with_params(c(m), 50, 1e-8),
    "linalg.eigvals": lambda c, m, v: ts.linalg.eigvals(c(m)),
    "linalg.diagonal": lambda c, m, v: ts.linalg.diagonal(c(m), 1),
    "linalg.outer": lambda c, m, v: ts.linalg.outer(c(v), c(v)),
    "stats.sum": lambda c, m, v: ts.stats.sum(c(m)), "stats.mean": lambda c, m, v: ts.stats.mean(c(m)),
    "stats.var": lambda c, m, v: ts.stats.var(c(m)), "stats.std": lambda c, m, v: ts.stats.std(c(v)),
    "stats.median": lambda c, m, v: ts.stats.median(c(m)),
    "stats.quantile": lambda c, m, v: ts.stats.quantile(c(m), c(v) / 4 + 0.25),
    "stats.any": lambda c, m, v: ts.stats.any(c(v)), "stats.all": lambda c, m, v: ts.stats.all(c(m)),
    "stats.pearson": lambda c, m, v: ts.stats.pearson(c(v), c(m)[0]),
    "stats.spearman": lambda c, m, v: ts.stats.spearman(c(v), c(m)[1]),
    "Array.matmul": lambda c, m, v: ts.Array.from_numpy(MATRIX).matmul(c(m)),
    "Array.dot": lambda c, m, v: ts.Array.from_numpy(VECTOR).dot(c(v)),
    "Array.outer": lambda c, m, v: ts.Array.outer(c(v), c(v)),
    "asarray": lambda c, m, v: ts.asarray(c(m)), "diag": lambda c, m, v: ts.diag(c(v)),
    "column_stack": lambda c, m, v: ts.column_stack([c(v), c(m)[2]]),
    **{f"{cls.__name__}.from_array": (lambda cls: lambda c, m, v: cls.from_array(c(m), 1))(cls)
       for cls in (ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree)},
}


def outcome(result):
    """The bits of a result: Arrays by shape and bytes, trees by their pickled state."""
    if isinstance(result, tuple):
        return tuple(outcome(r) for r in result)
    if isinstance(result, ts.Array):
        return result.shape, result.to_numpy().tobytes()
    if type(result).__name__.endswith("Tree"):
        return pickle.dumps(result)
    return result


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("name", CALLS)
@pytest.mark.filterwarnings("ignore:eig did not converge")
def test_a_numpy_array_gives_what_its_array_gives(name, layout):
    convert = LAYOUTS[layout]
    given = CALLS[name](convert, MATRIX, VECTOR)
    expected = CALLS[name](lambda x: ts.Array.from_numpy(convert(x)), MATRIX, VECTOR)
    assert outcome(given) == outcome(expected)


@pytest.mark.parametrize("form", [lambda x: array.array("d", x), lambda x: memoryview(np.array(x))])
def test_other_buffers_are_arrays_too(form):
    assert ts.stats.mean(form([1.0, 2.0, 6.0])) == 3.0
    assert ts.linalg.outer(form([1.0, 2.0]), [3.0]).tolist() == [[3.0], [6.0]]


@pytest.mark.parametrize("call, message", [
    (lambda: ts.stats.mean(np.zeros(3, complex)),
     "argument 'a': an Array or a buffer of real numbers is needed, not buffer format 'Zd'"),
    (lambda: ts.linalg.outer(np.zeros(2, complex), [1.0]),  # refused, not read element by element
     "argument 'a': an Array or a buffer of real numbers is needed, not buffer format 'Zd'"),
    (lambda: ts.spatial.KDTree.from_array(np.zeros((2, 2), "U1")),
     "argument 'array': an Array or a buffer of real numbers is needed, not buffer format '1w'"),
    (lambda: ts.stats.mean(np.zeros(2, object)),
     "argument 'a': an Array or a buffer of real numbers is needed, not buffer format 'O'"),
    (lambda: ts.stats.mean(b"ab"), "argument 'a': 'bytes' object cannot be cast as 'Array'"),
    (lambda: ts.linalg.matmul([[1.0]], ts.zeros([1, 1])), "argument 'a': 'list' object cannot be cast as 'Array'"),
])
def test_what_is_no_buffer_of_real_numbers_is_refused(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_numpy_scalars_stay_numbers_and_object_arrays_sequences():
    a = ts.asarray([1.0, 2.0, 3.0, 4.0])
    assert ts.stats.quantile(a, np.float64(0.5)) == ts.stats.quantile(a, 0.5) == 2.5
    assert ts.linalg.outer(np.array([1.0, 2.0], object), [1.0]).tolist() == [[1.0], [2.0]]
