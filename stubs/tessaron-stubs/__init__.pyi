"""n-d float64 arrays, linear algebra, statistics, random numbers and spatial trees.

Array is an n-dimensional array of 64-bit floats with broadcasting
arithmetic, element-wise functions, reductions and indexing; it shares its
memory with NumPy through the buffer protocol. The submodules: linalg
(products, Cholesky, Householder QR, eigenvalues by QR iteration), stats
(reductions, quantiles, Pearson and Spearman), random (a seedable
xoshiro256** Generator with bit-exact streams) and spatial (KDTree,
BallTree, VPTree: k-nearest, radius and kernel-density queries). Sums run in
a fixed order, so every result is reproducible bit for bit.
"""
import sys
from collections.abc import Iterator, Sequence
from typing import Any, Protocol, SupportsFloat, SupportsIndex, final, overload

from typing_extensions import Buffer

from . import linalg as linalg
from . import random as random
from . import spatial as spatial
from . import stats as stats
from .random import Generator as Generator
from .spatial import BallTree as BallTree
from .spatial import KDTree as KDTree

__version__: str

_Float = SupportsFloat | SupportsIndex


class _ArrayInterface(Protocol):
    """What NumPy arrays offer on every Python (their __buffer__ is declared from 3.12 only)."""
    @property
    def __array_interface__(self) -> dict[str, Any]: ...


# Where an Array is taken, any buffer of real numbers is too (NumPy arrays,
# array.array, memoryview), read as Array.from_numpy reads.
_ArrayLike = Array | Buffer | _ArrayInterface
_Shape = Sequence[SupportsIndex]
_Floats = Sequence[_Float]

__all__ = ["Array", "PyArrayIter", "Generator", "BallTree", "KDTree", "zeros", "ones", "full",
           "asarray", "eye", "diag", "column_stack", "linalg", "stats", "random", "spatial"]

class PanicException(BaseException):
    """Raised when an internal check of tessaron fails.

    It derives from BaseException, so `except Exception` does not catch it.
    Its one argument is the text of the failed check. The call that raised
    it returned nothing and left every object as it was.
    """

@final
class PyArrayIter:
    # Iterator over a private copy of an Array's elements (no docstring of its own).
    def __iter__(self) -> PyArrayIter: ...
    def __next__(self) -> float: ...

@final
class Array:
    """An n-dimensional array of 64-bit floats, row-major, never a view.

    Parameters
    ----------
    shape : sequence of int
        The dimension lengths; an empty sequence makes an array without
        dimensions, holding one element.
    data : sequence of float
        The elements in row-major order, as many as the shape holds.

    Raises
    ------
    ValueError
        "Data length {n} doesn't match shape {shape} (expected {count})".
    TypeError
        `shape` or `data` is not a sequence of numbers (a str is refused).
    OverflowError
        A negative dimension length.

    Notes
    -----
    Every operation returns a new Array and leaves its operands as they
    were; only item assignment changes an Array. Sums run left to right from
    -0.0 without fused multiply-add, so results are the same bit for bit on
    every machine.
    """
    def __new__(cls, shape: _Shape, data: _Floats) -> Array: ...
    @property
    def shape(self) -> list[int]:
        """The dimension lengths."""
    def __len__(self) -> int:
        """The total number of elements."""
    def __iter__(self) -> PyArrayIter:
        """The elements in row-major order."""
    def __contains__(self, value: object, /) -> bool:
        """Whether some element equals the float value."""
    @overload
    def __getitem__(self, key: SupportsIndex, /) -> Array | float:
        """An element or a block of the trailing dimensions (a copy)."""
    @overload
    def __getitem__(self, key: tuple[SupportsIndex, ...], /) -> Array | float: ...
    @overload
    def __getitem__(self, key: slice, /) -> Array: ...
    def __setitem__(self, key: SupportsIndex | tuple[SupportsIndex, ...], value: _Float, /) -> None:
        """Sets one element."""
    def __delitem__(self, key: object, /) -> None:
        """Always NotImplementedError."""
    def __add__(self, other: Array | _Float, /) -> Array:
        """Element-wise sum with broadcasting."""
    def __radd__(self, other: _Float, /) -> Array:
        """Scalar plus array."""
    def __sub__(self, other: Array | _Float, /) -> Array:
        """Element-wise difference with broadcasting."""
    def __rsub__(self, other: _Float, /) -> Array:
        """Scalar minus array."""
    def __mul__(self, other: Array | _Float, /) -> Array:
        """Element-wise product with broadcasting."""
    def __rmul__(self, other: _Float, /) -> Array:
        """Scalar times array."""
    def __truediv__(self, other: Array | _Float, /) -> Array:
        """Element-wise quotient with broadcasting."""
    def __rtruediv__(self, other: _Float, /) -> Array:
        """Scalar divided by array."""
    def __matmul__(self, other: Array, /) -> Array:
        """Matrix product."""
    def __rmatmul__(self, other: Array, /) -> Array:
        """Matrix product with self on the right."""
    def __neg__(self) -> Array:
        """Element-wise negation."""
    def tolist(self) -> Any:
        """The elements as nested Python lists of floats.

        Returns
        -------
        list or float
            One level of lists per dimension; an array without dimensions
            gives its one element as a float.
        """
    def to_pylist_recursive(self, dim: SupportsIndex, offset: SupportsIndex) -> list[Any]:
        """Nested lists of the dimensions from `dim` on, starting at a flat position.

        Parameters
        ----------
        dim : int
            The first dimension to list.
        offset : int
            The flat row-major position of the first element.

        Returns
        -------
        list
            tolist() is to_pylist_recursive(0, 0).

        Raises
        ------
        PanicException
            `dim` is not below the number of dimensions, or the block runs
            past the end of the data.
        OverflowError
            A negative `dim` or `offset`.
        """
    def to_numpy(self) -> Any:
        """A new NumPy float64 array holding a copy of the elements.

        Returns
        -------
        numpy.ndarray
            Writable, of the same shape; it owns its copy, so writing to it
            leaves the Array unchanged.

        Raises
        ------
        PanicException
            NumPy cannot be imported ("Failed to access NumPy array API
            capsule: ...").
        """
    def __array__(self, dtype: Any = None, copy: bool | None = None) -> Any:
        """NumPy's array protocol: a view of the Array's memory; a copy where copy=True or a dtype needs one (which copy=False refuses)."""
    def __array_function__(self, func: Any, types: Any, args: Any, kwargs: Any) -> Any:
        """NumPy's function protocol: NumPy functions run on NumPy views of the Arrays they are given (an Array passed as out= receives the result)."""
    if sys.version_info >= (3, 12):
        def __buffer__(self, flags: int, /) -> memoryview: ...
        def __release_buffer__(self, buffer: memoryview, /) -> None: ...
    @staticmethod
    def from_numpy(arr: Any) -> Array:
        """A new Array holding a float64 copy of a NumPy array.

        Parameters
        ----------
        arr : numpy.ndarray
            Any real dtype (bool, signed and unsigned integers, float16 to
            long double, either byte order) and any layout (C or Fortran
            order, steps, negative strides, broadcast views, 0-d, empty).

        Returns
        -------
        Array
            The same shape, each element converted as
            `arr.astype(numpy.float64)` converts it.

        Raises
        ------
        TypeError
            `arr` is not a NumPy array, or holds complex numbers, objects,
            strings or dates ("argument 'arr': '{type}' object cannot be
            cast as 'ndarray'").
        PanicException
            NumPy cannot be imported.
        """
    @staticmethod
    def zeros(shape: _Shape) -> Array:
        """An array of the given shape filled with 0.0.

        Parameters
        ----------
        shape : sequence of int
            The dimension lengths; an empty sequence gives an array without
            dimensions (one element).

        Returns
        -------
        Array
            A new array of zeros.

        Raises
        ------
        TypeError
            `shape` is not a sequence of integers (a str or a float is refused).
        OverflowError
            A negative dimension length.
        """
    @staticmethod
    def ones(shape: _Shape) -> Array:
        """An array of the given shape filled with 1.0.

        Parameters
        ----------
        shape : sequence of int
            The dimension lengths; an empty sequence gives an array without
            dimensions (one element).

        Returns
        -------
        Array
            A new array of ones.

        Raises
        ------
        TypeError
            `shape` is not a sequence of integers (a str or a float is refused).
        OverflowError
            A negative dimension length.
        """
    @staticmethod
    def full(shape: _Shape, fill_value: _Float) -> Array:
        """An array of the given shape filled with one value.

        Parameters
        ----------
        shape : sequence of int
            The dimension lengths; an empty sequence gives an array without
            dimensions (one element).
        fill_value : float
            The value of every element.

        Returns
        -------
        Array
            A new array.

        Raises
        ------
        TypeError
            `shape` is not a sequence of integers, or `fill_value` is not a
            number.
        OverflowError
            A negative dimension length.
        """
    @staticmethod
    def eye(n: SupportsIndex, m: SupportsIndex | None = None, k: SupportsIndex | None = None) -> Array:
        """An n x m matrix with ones on the k-th diagonal and zeros elsewhere.

        Parameters
        ----------
        n : int
            The number of rows.
        m : int, optional
            The number of columns; n when absent.
        k : int, optional
            The diagonal: 0 (the default) the main one, positive above it,
            negative below it. A diagonal outside the matrix gives all zeros.

        Returns
        -------
        Array
            A new (n, m) array.

        Raises
        ------
        TypeError
            An argument is not an integer.
        OverflowError
            A negative `n` or `m`.
        """
    @staticmethod
    def diag(v: _ArrayLike | _Floats, k: SupportsIndex | None = None) -> Array:
        """A square matrix with the vector v on its k-th diagonal.

        Parameters
        ----------
        v : Array or buffer of real numbers or sequence of float
            The diagonal's values; an Array must be one-dimensional.
        k : int, optional
            The diagonal: 0 (the default) the main one, positive above it,
            negative below it. The matrix has len(v) + abs(k) rows.

        Returns
        -------
        Array
            A new square matrix.

        Raises
        ------
        PanicException
            `v` is an Array that is not one-dimensional ("Input must be 1D").
            To read the diagonal of a matrix use `Array.diagonal`.
        TypeError
            `v` is neither an Array nor a sequence of numbers, or `k` is not an
            integer.
        """
    @staticmethod
    def asarray(data: _ArrayLike | _Floats, shape: _Shape | None = None) -> Array:
        """A new array from a sequence of numbers or the elements of an Array.

        Parameters
        ----------
        data : Array or buffer of real numbers or sequence of float
            The elements; an Array gives its elements in row-major order and its
            own shape is not kept.
        shape : sequence of int, optional
            The shape of the result. Without it the result is one-dimensional.

        Returns
        -------
        Array
            A new array holding a copy of the elements.

        Raises
        ------
        ValueError
            "Data length {n} doesn't match shape {shape} (expected {count})".
        TypeError
            `data` is neither an Array nor a sequence of numbers, or `shape`
            is not a sequence of integers.
        """
    @staticmethod
    def outer(a: _ArrayLike | _Floats, b: _ArrayLike | _Floats) -> Array:
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
            An Array argument that is not one-dimensional ("First input must
            be 1D", "Second input must be 1D").
        TypeError
            An argument is neither an Array nor a sequence of numbers.
        """
    def sin(self) -> Array:
        """The sine of each element (in radians).

        Returns
        -------
        Array
            A new array of the same shape. NaN for infinities and NaN.
            Never raises: the C math library's results are kept as they are.
        """
    def cos(self) -> Array:
        """The cosine of each element (in radians).

        Returns
        -------
        Array
            A new array of the same shape. NaN for infinities and NaN.
            Never raises: the C math library's results are kept as they are.
        """
    def tan(self) -> Array:
        """The tangent of each element (in radians).

        Returns
        -------
        Array
            A new array of the same shape. NaN for infinities and NaN.
            Never raises: the C math library's results are kept as they are.
        """
    def arcsin(self) -> Array:
        """The arc sine of each element, in radians.

        Returns
        -------
        Array
            A new array of the same shape. NaN outside [-1, 1].
            Never raises: the C math library's results are kept as they are.
        """
    def arccos(self) -> Array:
        """The arc cosine of each element, in radians.

        Returns
        -------
        Array
            A new array of the same shape. NaN outside [-1, 1].
            Never raises: the C math library's results are kept as they are.
        """
    def arctan(self) -> Array:
        """The arc tangent of each element, in radians.

        Returns
        -------
        Array
            A new array of the same shape, between -pi/2 and pi/2.
            Never raises: the C math library's results are kept as they are.
        """
    def exp(self) -> Array:
        """e to the power of each element.

        Returns
        -------
        Array
            A new array of the same shape; inf where the power overflows.
            Never raises: the C math library's results are kept as they are.
        """
    def log(self) -> Array:
        """The natural logarithm of each element.

        Returns
        -------
        Array
            A new array of the same shape; -inf at zero, NaN for negative
            elements.
            Never raises: the C math library's results are kept as they are.
        """
    def sqrt(self) -> Array:
        """The square root of each element.

        Returns
        -------
        Array
            A new array of the same shape. NaN for negative elements;
            -0.0 stays -0.0.
            Never raises: the C math library's results are kept as they are.
        """
    def abs(self) -> Array:
        """The absolute value of each element.

        Returns
        -------
        Array
            A new array of the same shape. NaN stays NaN.
            Never raises: the C math library's results are kept as they are.
        """
    def sign(self) -> Array:
        """The sign of each element: 1.0, -1.0 or 0.0.

        Returns
        -------
        Array
            A new array of the same shape: 1.0 above zero, -1.0 below,
            0.0 for zeros of either sign and for NaN.
            Never raises: the C math library's results are kept as they are.
        """
    def clip(self, min: _Float, max: _Float) -> Array:
        """Each element limited to the range [min, max].

        Parameters
        ----------
        min, max : float
            The bounds. The lower one is applied first, so with min > max
            elements below min become min and all others above max become
            max. NaN elements and NaN bounds change nothing.

        Returns
        -------
        Array
            A new array of the same shape.

        Raises
        ------
        TypeError
            A bound is not a number.
        """
    def sum(self) -> float:
        """The sum of all elements, added left to right in row-major order.

        Returns
        -------
        float
            The sum, started from -0.0 (so an empty array gives -0.0). There
            is no pairwise or compensated summation.
        """
    def mean(self) -> float:
        """The mean of all elements.

        Returns
        -------
        float
            sum() divided by the element count; NaN for an empty array.
        """
    def var(self) -> float:
        """The population variance of all elements (divisor n, not n - 1).

        Returns
        -------
        float
            The mean of the squared differences from mean(), summed left to
            right; NaN for an empty array.
        """
    def std(self) -> float:
        """The population standard deviation: the square root of var().

        Returns
        -------
        float
            NaN for an empty array.
        """
    def median(self) -> float:
        """The median of all elements, whatever the shape.

        Returns
        -------
        float
            The middle element of the sorted elements, or the mean of the
            two middle ones; NaN for an empty array.
        """
    @overload
    def quantile(self, q: _Float) -> float:
        """Quantiles of all elements by linear interpolation between ranks.

        Parameters
        ----------
        q : float or Array
            The fraction in [0, 1], or an Array of fractions (read in
            row-major order, whatever its shape).

        Returns
        -------
        float or Array
            For a number q, the quantile: position q * (n - 1) in the sorted
            elements, interpolated between its neighbours. For an Array q, a
            1-D Array with one quantile per fraction. NaN for an empty array.

        Raises
        ------
        PanicException
            A fraction outside [0, 1] or NaN ("Quantile must be between 0
            and 1"), checked before anything else.
        TypeError
            `q` is neither an Array nor a number.
        """
    @overload
    def quantile(self, q: Array) -> Array: ...
    def any(self) -> bool:
        """Whether some element is not zero.

        Returns
        -------
        bool
            True at the first element other than 0.0 or -0.0 (NaN counts as
            non-zero); False for an empty array.
        """
    def all(self) -> bool:
        """Whether no element is zero.

        Returns
        -------
        bool
            False at the first element equal to 0.0 or -0.0; True for an
            empty array.
        """
    def get(self, indices: _Shape) -> float:
        """The element at a full index, one index per dimension.

        Parameters
        ----------
        indices : sequence of int
            One non-negative index per dimension (no negative indices).

        Returns
        -------
        float
            The element.

        Raises
        ------
        ValueError
            "Index out of bounds": the wrong number of indices, or an index
            not below its dimension's length.
        OverflowError
            A negative index.
        """
    def take(self, indices: _Shape) -> Array:
        """The elements at flat positions of the row-major data.

        Parameters
        ----------
        indices : sequence of int
            Flat positions, in the order wanted; repeats are allowed.

        Returns
        -------
        Array
            A new 1-D array of len(indices) elements.

        Raises
        ------
        PanicException
            A position not below the element count ("index out of bounds:
            the len is {n} but the index is {i}").
        OverflowError
            A negative position.
        """
    def dot(self, other: _ArrayLike) -> Array:
        """The matrix product of this array and `other`: the same as matmul.

        Parameters
        ----------
        other : Array or buffer of real numbers
            The right factor.

        Returns
        -------
        Array
            See `matmul`.

        Raises
        ------
        PanicException
            Arrays that are not 1-D or 2-D, or whose inner dimensions differ.
        TypeError
            `other` is not an Array.
        """
    def matmul(self, other: _ArrayLike) -> Array:
        """The matrix product of this array and `other`, as `self @ other`.

        Parameters
        ----------
        other : Array or buffer of real numbers
            The right factor: a matrix or a vector.

        Returns
        -------
        Array
            (m, k) @ (k, n) gives (m, n); a matrix times a vector, or a
            vector times a matrix, a vector; two vectors of equal length
            their inner product as an Array of shape [1]. Each element is
            summed left to right from -0.0.

        Raises
        ------
        PanicException
            Arrays that are not 1-D or 2-D ("matmul requires 1D or 2D
            arrays"), inner dimensions that differ ("Inner dimensions must
            match") or vectors of different lengths ("Vectors must have same
            length").
        TypeError
            `other` is not an Array.
        """
    def t(self) -> Array:
        """The transpose of a matrix.

        Returns
        -------
        Array
            A new (n, m) array for an (m, n) one.

        Raises
        ------
        PanicException
            The array is not two-dimensional ("transpose requires 2D array").
        """
    def transpose(self) -> Array:
        """The transpose of a matrix: the same as t().

        Returns
        -------
        Array
            A new (n, m) array for an (m, n) one.

        Raises
        ------
        PanicException
            The array is not two-dimensional ("transpose requires 2D array").
        """
    def diagonal(self, k: SupportsIndex | None = None) -> Array:
        """The k-th diagonal of a matrix.

        Parameters
        ----------
        k : int, optional
            0 (the default) for the main diagonal, positive above it,
            negative below it.

        Returns
        -------
        Array
            A new 1-D array, empty when the diagonal lies outside the matrix.

        Raises
        ------
        ValueError
            "diagonal requires a 2D array".
        TypeError
            `k` is not an integer.
        """

def zeros(shape: _Shape) -> Array:
    """An array of the given shape filled with 0.0.

    Parameters
    ----------
    shape : sequence of int
        The dimension lengths; an empty sequence gives an array without
        dimensions (one element).

    Returns
    -------
    Array
        A new array of zeros.

    Raises
    ------
    TypeError
        `shape` is not a sequence of integers (a str or a float is refused).
    OverflowError
        A negative dimension length.
    """
def ones(shape: _Shape) -> Array:
    """An array of the given shape filled with 1.0.

    Parameters
    ----------
    shape : sequence of int
        The dimension lengths; an empty sequence gives an array without
        dimensions (one element).

    Returns
    -------
    Array
        A new array of ones.

    Raises
    ------
    TypeError
        `shape` is not a sequence of integers (a str or a float is refused).
    OverflowError
        A negative dimension length.
    """
def full(shape: _Shape, fill_value: _Float) -> Array:
    """An array of the given shape filled with one value.

    Parameters
    ----------
    shape : sequence of int
        The dimension lengths; an empty sequence gives an array without
        dimensions (one element).
    fill_value : float
        The value of every element.

    Returns
    -------
    Array
        A new array.

    Raises
    ------
    TypeError
        `shape` is not a sequence of integers, or `fill_value` is not a
        number.
    OverflowError
        A negative dimension length.
    """
def asarray(data: _ArrayLike | _Floats, shape: _Shape | None = None) -> Array:
    """A new array from a sequence of numbers or the elements of an Array.

    Parameters
    ----------
    data : Array or buffer of real numbers or sequence of float
        The elements; an Array gives its elements in row-major order and its
        own shape is not kept.
    shape : sequence of int, optional
        The shape of the result. Without it the result is one-dimensional.

    Returns
    -------
    Array
        A new array holding a copy of the elements.

    Raises
    ------
    ValueError
        "Data length {n} doesn't match shape {shape} (expected {count})".
    TypeError
        `data` is neither an Array nor a sequence of numbers, or `shape`
        is not a sequence of integers.
    """
def eye(n: SupportsIndex, m: SupportsIndex | None = None, k: SupportsIndex | None = None) -> Array:
    """An n x m matrix with ones on the k-th diagonal and zeros elsewhere.

    Parameters
    ----------
    n : int
        The number of rows.
    m : int, optional
        The number of columns; n when absent.
    k : int, optional
        The diagonal: 0 (the default) the main one, positive above it,
        negative below it. A diagonal outside the matrix gives all zeros.

    Returns
    -------
    Array
        A new (n, m) array.

    Raises
    ------
    TypeError
        An argument is not an integer.
    OverflowError
        A negative `n` or `m`.
    """
def diag(v: _ArrayLike | _Floats, k: SupportsIndex | None = None) -> Array:
    """A square matrix with the vector v on its k-th diagonal.

    Parameters
    ----------
    v : Array or buffer of real numbers or sequence of float
        The diagonal's values; an Array must be one-dimensional.
    k : int, optional
        The diagonal: 0 (the default) the main one, positive above it,
        negative below it. The matrix has len(v) + abs(k) rows.

    Returns
    -------
    Array
        A new square matrix.

    Raises
    ------
    PanicException
        `v` is an Array that is not one-dimensional ("Input must be 1D").
        To read the diagonal of a matrix use `Array.diagonal`.
    TypeError
        `v` is neither an Array nor a sequence of numbers, or `k` is not an
        integer.
    """
def column_stack(arrays: Sequence[_ArrayLike]) -> Array:
    """1-D and 2-D arrays side by side as the columns of one matrix.

    Parameters
    ----------
    arrays : sequence of Array
        A 1-D array of length r gives one column, a 2-D array of r rows all
        its columns, in order.

    Returns
    -------
    Array
        A new (r, total columns) array.

    Raises
    ------
    ValueError
        "Need at least one array".
    PanicException
        An array of more than two dimensions ("column_stack only supports
        1D and 2D arrays") or arrays of different row counts ("All arrays
        must have the same number of rows").
    TypeError
        `arrays` is not a sequence of Arrays.
    """
