"""n-d float64 arrays, linear algebra, statistics, random numbers and spatial trees."""
from collections.abc import Iterator, Sequence
from typing import Any, SupportsFloat, SupportsIndex, final, overload

from . import linalg as linalg
from . import random as random
from . import spatial as spatial
from . import stats as stats
from .random import Generator as Generator
from .spatial import BallTree as BallTree
from .spatial import KDTree as KDTree

_Float = SupportsFloat | SupportsIndex
_Shape = Sequence[SupportsIndex]
_Floats = Sequence[_Float]

__all__ = ["Array", "PyArrayIter", "Generator", "BallTree", "KDTree", "zeros", "ones", "full",
           "asarray", "eye", "diag", "column_stack", "linalg", "stats", "random", "spatial"]

class PanicException(BaseException):
    """Raised when an internal assertion of tessaron fails."""

@final
class PyArrayIter:
    """Iterator over a private copy of an Array's elements."""
    def __iter__(self) -> PyArrayIter: ...
    def __next__(self) -> float: ...

@final
class Array:
    """An n-dimensional array of 64-bit floats, row-major, never a view."""
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
        """Nested lists of floats (a float for an array without dimensions)."""
    def to_pylist_recursive(self, dim: SupportsIndex, offset: SupportsIndex) -> list[Any]:
        """Nested lists from dimension dim at flat position offset."""
    def to_numpy(self) -> Any:
        """A new NumPy float64 array holding a copy."""
    def __array__(self, dtype: Any = None, copy: bool | None = None) -> Any:
        """NumPy's array protocol: always a new copy (copy=False is refused)."""
    def __array_function__(self, func: Any, types: Any, args: Any, kwargs: Any) -> Any:
        """NumPy's function protocol: NumPy functions run on NumPy copies of the Arrays they are given."""
    @staticmethod
    def from_numpy(arr: Any) -> Array:
        """A float64 copy of a NumPy array of any real dtype and layout (as astype(float64))."""
    @staticmethod
    def zeros(shape: _Shape) -> Array:
        """An array of zeros."""
    @staticmethod
    def ones(shape: _Shape) -> Array:
        """An array of ones."""
    @staticmethod
    def full(shape: _Shape, fill_value: _Float) -> Array:
        """An array filled with one value."""
    @staticmethod
    def eye(n: SupportsIndex, m: SupportsIndex | None = None, k: SupportsIndex | None = None) -> Array:
        """Ones on the k-th diagonal of an n x m matrix."""
    @staticmethod
    def diag(v: Array | _Floats, k: SupportsIndex | None = None) -> Array:
        """A matrix with v on its k-th diagonal."""
    @staticmethod
    def asarray(data: Array | _Floats, shape: _Shape | None = None) -> Array:
        """A new array from a list or an Array, optionally reshaped."""
    @staticmethod
    def outer(a: Array | _Floats, b: Array | _Floats) -> Array:
        """The outer product of two vectors."""
    def sin(self) -> Array:
        """Sine of each element."""
    def cos(self) -> Array:
        """Cosine of each element."""
    def tan(self) -> Array:
        """Tangent of each element."""
    def arcsin(self) -> Array:
        """Arc sine of each element."""
    def arccos(self) -> Array:
        """Arc cosine of each element."""
    def arctan(self) -> Array:
        """Arc tangent of each element."""
    def exp(self) -> Array:
        """e to the power of each element."""
    def log(self) -> Array:
        """Natural logarithm of each element."""
    def sqrt(self) -> Array:
        """Square root of each element."""
    def abs(self) -> Array:
        """Absolute value of each element."""
    def sign(self) -> Array:
        """1.0, -1.0 or 0.0 per element."""
    def clip(self, min: _Float, max: _Float) -> Array:
        """Each element limited to [min, max]."""
    def sum(self) -> float:
        """Sum of all elements, in order from -0.0."""
    def mean(self) -> float:
        """Mean of all elements."""
    def var(self) -> float:
        """Population variance of all elements."""
    def std(self) -> float:
        """Square root of the variance."""
    def median(self) -> float:
        """Median of all elements."""
    @overload
    def quantile(self, q: _Float) -> float:
        """Quantile by linear interpolation; an Array q gives one per element."""
    @overload
    def quantile(self, q: Array) -> Array: ...
    def any(self) -> bool:
        """Whether some element is not zero."""
    def all(self) -> bool:
        """Whether no element is zero."""
    def get(self, indices: _Shape) -> float:
        """The element at a full index."""
    def take(self, indices: _Shape) -> Array:
        """The elements at flat positions."""
    def dot(self, other: Array) -> Array:
        """Matrix product (as matmul)."""
    def matmul(self, other: Array) -> Array:
        """Matrix product."""
    def t(self) -> Array:
        """Transpose of a matrix."""
    def transpose(self) -> Array:
        """Transpose of a matrix."""
    def diagonal(self, k: SupportsIndex | None = None) -> Array:
        """The k-th diagonal of a matrix."""

def zeros(shape: _Shape) -> Array:
    """An array of zeros."""
def ones(shape: _Shape) -> Array:
    """An array of ones."""
def full(shape: _Shape, fill_value: _Float) -> Array:
    """An array filled with one value."""
def asarray(data: Array | _Floats, shape: _Shape | None = None) -> Array:
    """A new array from a list or an Array, optionally reshaped."""
def eye(n: SupportsIndex, m: SupportsIndex | None = None, k: SupportsIndex | None = None) -> Array:
    """Ones on the k-th diagonal of an n x m matrix."""
def diag(v: Array | _Floats, k: SupportsIndex | None = None) -> Array:
    """A matrix with v on its k-th diagonal."""
def column_stack(arrays: Sequence[Array]) -> Array:
    """1-D and 2-D arrays side by side as columns."""
