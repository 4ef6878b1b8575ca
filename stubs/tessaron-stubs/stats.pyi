"""Whole-array statistics and correlation."""
from typing import SupportsFloat, SupportsIndex, overload

from . import Array

__all__ = ["sum", "mean", "var", "std", "median", "quantile", "any", "all", "pearson", "spearman"]

def sum(a: Array) -> float:
    """Sum of all elements, in order from -0.0."""
def mean(a: Array) -> float:
    """Mean of all elements."""
def var(a: Array) -> float:
    """Population variance."""
def std(a: Array) -> float:
    """Square root of the variance."""
def median(a: Array) -> float:
    """Median of all elements."""
@overload
def quantile(a: Array, q: SupportsFloat | SupportsIndex) -> float:
    """Quantile by linear interpolation; an Array q gives one per element."""
@overload
def quantile(a: Array, q: Array) -> Array: ...
def any(a: Array) -> bool:
    """Whether some element is not zero."""
def all(a: Array) -> bool:
    """Whether no element is zero."""
def pearson(a: Array, b: Array) -> float:
    """Pearson's correlation of two vectors."""
def spearman(a: Array, b: Array) -> float:
    """Spearman's rank correlation of two vectors."""
