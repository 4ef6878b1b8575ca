"""Matrix products, views and decompositions."""
from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex

from . import Array, _ArrayLike

__all__ = ["matmul", "dot", "transpose", "cholesky", "qr", "eig", "eig_with_params", "eigvals",
           "diagonal", "outer"]

def matmul(a: _ArrayLike, b: _ArrayLike) -> Array:
    """The matrix, matrix-vector or vector product of two arrays.

    Parameters
    ----------
    a, b : Array or buffer of real numbers
        Matrices or vectors (lists are refused).

    Returns
    -------
    Array
        (m, k) @ (k, n) gives (m, n); a matrix times a vector, or a vector
        times a matrix, a vector; two vectors of equal length their inner
        product as an Array of shape [1]. Each element is summed left to
        right from -0.0.

    Raises
    ------
    PanicException
        Arrays that are not 1-D or 2-D ("matmul requires 1D or 2D arrays"),
        inner dimensions that differ ("Inner dimensions must match") or
        vectors of different lengths ("Vectors must have same length").
    TypeError
        An argument is not an Array.
    """
def dot(a: _ArrayLike, b: _ArrayLike) -> Array:
    """The same as `matmul` in every respect.

    Parameters
    ----------
    a, b : Array or buffer of real numbers
        Matrices or vectors (lists are refused).

    Returns
    -------
    Array
        See `matmul`.

    Raises
    ------
    PanicException
        As `matmul`.
    TypeError
        An argument is not an Array.
    """
def transpose(a: _ArrayLike) -> Array:
    """The transpose of a matrix.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A two-dimensional array.

    Returns
    -------
    Array
        A new (n, m) array for an (m, n) one.

    Raises
    ------
    PanicException
        `a` is not two-dimensional ("transpose requires 2D array").
    TypeError
        `a` is not an Array.
    """
def cholesky(a: _ArrayLike) -> Array:
    """The Cholesky factor L of a symmetric positive definite matrix, a = L L^T.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A square matrix; only its lower triangle is read.

    Returns
    -------
    Array
        The lower-triangular factor L, computed row by row.

    Raises
    ------
    ValueError
        "Cholesky decomposition requires a 2D matrix", "Cholesky
        decomposition requires a square matrix" or "Matrix is not positive
        definite".
    TypeError
        `a` is not an Array.
    """
def qr(a: _ArrayLike) -> tuple[Array, Array]:
    """The QR decomposition of a matrix by Householder reflections.

    Parameters
    ----------
    a : Array or buffer of real numbers
        An (m, n) matrix.

    Returns
    -------
    Q : Array
        An orthogonal (m, m) matrix.
    R : Array
        An upper-triangular (m, n) matrix with a = Q R.

    Raises
    ------
    ValueError
        "QR decomposition requires a 2D matrix".
    TypeError
        `a` is not an Array.
    """
def eig(a: _ArrayLike) -> tuple[Array, Array]:
    """Eigenvalues and eigenvectors by unshifted QR iteration.

    The same as eig_with_params(a, 1000, 1e-10). The iteration converges for
    symmetric matrices whose eigenvalues differ in magnitude; eigenvalues of
    equal magnitude and opposite sign, or complex pairs, never separate.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A square matrix.

    Returns
    -------
    values : Array
        The n eigenvalues, ordered by decreasing magnitude.
    vectors : Array
        An (n, n) matrix whose column j belongs to values[j].

    Raises
    ------
    ValueError
        "Eigendecomposition requires a 2D matrix" or "Eigendecomposition
        requires a square matrix".
    PanicException
        NaN in the values, which cannot be ordered.
    TypeError
        `a` is not an Array.

    Warns
    -----
    RuntimeWarning
        "eig did not converge: ..." when the iteration stopped at its step
        limit; the last iterate is returned.
    """
def eig_with_params(a: _ArrayLike, max_iter: SupportsIndex = 1000, tol: SupportsFloat = 1e-10) -> tuple[Array, Array]:
    """Eigenvalues and eigenvectors by unshifted QR iteration, with its limits given.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A square matrix.
    max_iter : int, default 1000
        The most QR steps; 0 returns the diagonal and a permutation of the
        identity.
    tol : float, default 1e-10
        The iteration stops once the off-diagonal norm is below tol.

    Returns
    -------
    values : Array
        The n eigenvalues, ordered by decreasing magnitude.
    vectors : Array
        An (n, n) matrix whose column j belongs to values[j].

    Raises
    ------
    ValueError
        "Eigendecomposition requires a 2D matrix" or "Eigendecomposition
        requires a square matrix".
    PanicException
        NaN in the values, which cannot be ordered.
    TypeError
        `a` is not an Array, or `max_iter` or `tol` is None or not a number.
    OverflowError
        A negative `max_iter`.

    Warns
    -----
    RuntimeWarning
        "eig did not converge: ..." when the iteration stopped at max_iter;
        the last iterate is returned.
    """
def eigvals(a: _ArrayLike) -> Array:
    """The eigenvalues of `eig`, without the vectors.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A square matrix.

    Returns
    -------
    Array
        The n eigenvalues, ordered by decreasing magnitude.

    Raises
    ------
    ValueError
        "Eigendecomposition requires a 2D matrix" or "Eigendecomposition
        requires a square matrix".
    PanicException
        NaN in the values, which cannot be ordered.
    TypeError
        `a` is not an Array.

    Warns
    -----
    RuntimeWarning
        "eig did not converge: ..." when the iteration stopped at its step
        limit.
    """
def diagonal(a: _ArrayLike, k: SupportsIndex | None = None) -> Array:
    """The k-th diagonal of a matrix.

    Parameters
    ----------
    a : Array or buffer of real numbers
        A two-dimensional array.
    k : int, optional
        0 (the default) for the main diagonal, positive above it, negative
        below it.

    Returns
    -------
    Array
        A new 1-D array, empty when the diagonal lies outside the matrix.

    Raises
    ------
    ValueError
        "diagonal requires a 2D array".
    TypeError
        `a` is not an Array or `k` is not an integer.
    OverflowError
        `k` does not fit a signed 64-bit integer.
    """
def outer(a: _ArrayLike | Sequence[SupportsFloat], b: _ArrayLike | Sequence[SupportsFloat]) -> Array:
    """The outer product of two vectors.

    Parameters
    ----------
    a, b : Array or buffer of real numbers or sequence of float
        One-dimensional; a sequence becomes a 1-D array.

    Returns
    -------
    Array
        A new (len(a), len(b)) array with element [i, j] = a[i] * b[j].

    Raises
    ------
    PanicException
        An Array argument that is not one-dimensional ("First input must be
        1D", "Second input must be 1D").
    TypeError
        An argument is neither an Array nor a sequence of numbers.
    """
