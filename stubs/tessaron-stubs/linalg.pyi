"""Matrix products, views and decompositions."""
from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex

from . import Array

__all__ = ["matmul", "dot", "transpose", "cholesky", "qr", "eig", "eig_with_params", "eigvals",
           "diagonal", "outer"]

def matmul(a: Array, b: Array) -> Array:
    """Matrix, matrix-vector or vector product."""
def dot(a: Array, b: Array) -> Array:
    """The same as matmul."""
def transpose(a: Array) -> Array:
    """Transpose of a matrix."""
def cholesky(a: Array) -> Array:
    """Lower-triangular L with a = L L^T."""
def qr(a: Array) -> tuple[Array, Array]:
    """(Q, R) by Householder reflections."""
def eig(a: Array) -> tuple[Array, Array]:
    """(values, vectors) by unshifted QR iteration."""
def eig_with_params(a: Array, max_iter: SupportsIndex = 1000, tol: SupportsFloat = 1e-10) -> tuple[Array, Array]:
    """(values, vectors) with a step limit and a tolerance."""
def eigvals(a: Array) -> Array:
    """The eigenvalues of eig."""
def diagonal(a: Array, k: SupportsIndex | None = None) -> Array:
    """The k-th diagonal of a matrix."""
def outer(a: Array | Sequence[SupportsFloat], b: Array | Sequence[SupportsFloat]) -> Array:
    """The outer product of two vectors."""
