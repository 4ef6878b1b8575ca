"""Whole-array statistics and correlation."""
from typing import SupportsFloat, SupportsIndex, overload

from . import Array, _ArrayLike

__all__ = ["sum", "mean", "var", "std", "median", "quantile", "any", "all", "pearson", "spearman"]

def sum(a: _ArrayLike) -> float:
    """The sum of all elements, added left to right in row-major order.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    float
        The sum, started from -0.0 (so an empty array gives -0.0). There is
        no pairwise or compensated summation.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def mean(a: _ArrayLike) -> float:
    """The mean of all elements.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    float
        sum(a) divided by the element count; NaN for an empty array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def var(a: _ArrayLike) -> float:
    """The population variance of all elements (divisor n, not n - 1).

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    float
        The mean of the squared differences from mean(a), summed left to
        right; NaN for an empty array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def std(a: _ArrayLike) -> float:
    """The population standard deviation: the square root of var(a).

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    float
        NaN for an empty array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def median(a: _ArrayLike) -> float:
    """The median of all elements, whatever the shape.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    float
        The middle element of the sorted elements, or the mean of the two
        middle ones; NaN for an empty array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
@overload
def quantile(a: _ArrayLike, q: SupportsFloat | SupportsIndex) -> float:
    """Quantiles of all elements by linear interpolation between ranks.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).
    q : float or Array
        The fraction in [0, 1], or an Array of fractions (read in row-major
        order, whatever its shape).

    Returns
    -------
    float or Array
        For a number q, the quantile: position q * (n - 1) in the sorted
        elements, interpolated between its neighbours. For an Array q, a
        1-D Array with one quantile per fraction. NaN for an empty array.

    Raises
    ------
    PanicException
        A fraction outside [0, 1] or NaN ("Quantile must be between 0 and
        1"), checked before anything else.
    TypeError
        `a` is not an Array, or `q` is neither an Array nor a number.
    """
@overload
def quantile(a: _ArrayLike, q: Array) -> Array: ...
def any(a: _ArrayLike) -> bool:
    """Whether some element is not zero.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    bool
        True at the first element other than 0.0 or -0.0 (NaN counts as
        non-zero); False for an empty array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def all(a: _ArrayLike) -> bool:
    """Whether no element is zero.

    Parameters
    ----------
    a : Array or buffer of real numbers
        Any shape (lists are refused).

    Returns
    -------
    bool
        False at the first element equal to 0.0 or -0.0; True for an empty
        array.

    Raises
    ------
    TypeError
        `a` is not an Array.
    """
def pearson(a: _ArrayLike, b: _ArrayLike) -> float:
    """Pearson's correlation coefficient of two vectors.

    Parameters
    ----------
    a, b : Array or buffer of real numbers
        One-dimensional arrays of equal length (the same Array may be
        passed twice).

    Returns
    -------
    float
        The coefficient, not clamped to [-1, 1]; exactly 0.0 when either
        vector is constant or both are empty.

    Raises
    ------
    PanicException
        Lengths that differ ("Arrays must have same length") or an array
        that is not one-dimensional ("Array must be 1d").
    TypeError
        An argument is not an Array.
    """
def spearman(a: _ArrayLike, b: _ArrayLike) -> float:
    """Spearman's rank correlation of two vectors: Pearson's of their ranks.

    Parameters
    ----------
    a, b : Array or buffer of real numbers
        One-dimensional arrays of equal length; equal values share their
        average rank.

    Returns
    -------
    float
        The coefficient; 0.0 when either vector is constant or both are
        empty.

    Raises
    ------
    PanicException
        An array that is not one-dimensional ("Array must be 1d") or
        lengths that differ ("Arrays must have same length").
    TypeError
        An argument is not an Array.
    """
