"""A seedable xoshiro256** generator with bit-exact streams."""
from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, final

from . import Array

__all__ = ["Generator", "seed", "new"]

_Shape = Sequence[SupportsIndex]
_Float = SupportsFloat | SupportsIndex

@final
class Generator:
    """A xoshiro256** random number generator; Generator() seeds it from the clock.

    Each generator owns its state: there is no global generator. A seed
    gives the same stream on every machine, and a call that fails draws
    nothing, so the stream goes on as if it had not been made.

    Raises
    ------
    PanicException
        The system clock reads before 1970 ("Time went backwards ...").
    """
    def __new__(cls) -> Generator: ...
    @staticmethod
    def from_seed(seed: SupportsIndex) -> Generator:
        """A generator seeded with an integer (expanded by SplitMix64).

        Parameters
        ----------
        seed : int
            From 0 to 2**64 - 1.

        Returns
        -------
        Generator
            The same seed gives the same stream.

        Raises
        ------
        OverflowError
            A negative seed or one of 2**64 or more.
        TypeError
            `seed` is not an integer.
        """
    def uniform(self, low: _Float, high: _Float, shape: _Shape) -> Array:
        """Uniform samples in [low, high).

        Parameters
        ----------
        low, high : float
            The bounds, low < high.
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            low + u * (high - low) for uniform u in [0, 1) with 53 random
            bits; rounding may give high itself.

        Raises
        ------
        PanicException
            "low must be less than high" (also for NaN bounds).
        TypeError
            A bound is not a number or `shape` is not a sequence of integers.
        """
    def standard_normal(self, shape: _Shape) -> Array:
        """Standard normal samples (mean 0, standard deviation 1), by Box-Muller.

        Parameters
        ----------
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            Both deviates of each pair are used, in order.

        Raises
        ------
        TypeError
            `shape` is not a sequence of integers.
        OverflowError
            A negative dimension length.
        """
    def normal(self, mu: _Float, sigma: _Float, shape: _Shape) -> Array:
        """Normal samples: standard normal ones times sigma plus mu.

        Parameters
        ----------
        mu : float
            The mean.
        sigma : float
            The standard deviation; not checked (0 gives mu everywhere).
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            z * sigma + mu for standard normal z, rounded twice.

        Raises
        ------
        TypeError
            `mu` or `sigma` is not a number, or `shape` is not a sequence of
            integers.
        """
    def randint(self, low: SupportsIndex, high: SupportsIndex, shape: _Shape) -> Array:
        """Random integers in [low, high), as floats.

        Parameters
        ----------
        low, high : int
            Signed 64-bit bounds, low < high.
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            low + (a 64-bit draw modulo high - low), one draw per element;
            exact as floats up to 2**53 in magnitude.

        Raises
        ------
        PanicException
            "low must be less than high".
        OverflowError
            A bound outside the signed 64-bit range.
        TypeError
            A bound is not an integer or `shape` is not a sequence of
            integers.
        """
    def gamma(self, shape_param: _Float, scale: _Float, shape: _Shape) -> Array:
        """Gamma samples, by Marsaglia and Tsang's method.

        Parameters
        ----------
        shape_param : float
            The shape k > 0.
        scale : float
            The scale theta > 0 (the mean is k * theta).
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            The samples.

        Raises
        ------
        PanicException
            "shape parameter must be positive" or "scale must be positive".
        TypeError
            A parameter is not a number or `shape` is not a sequence of
            integers.
        """
    def beta(self, alpha: _Float, beta_param: _Float, shape: _Shape) -> Array:
        """Beta samples: x / (x + y) for gamma samples x and y.

        Parameters
        ----------
        alpha : float
            The first shape parameter, > 0.
        beta_param : float
            The second shape parameter, > 0.
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            The samples, in [0, 1].

        Raises
        ------
        PanicException
            "alpha must be positive" or "beta must be positive".
        TypeError
            A parameter is not a number or `shape` is not a sequence of
            integers.
        """
    def lognormal(self, mu: _Float, sigma: _Float, shape: _Shape) -> Array:
        """Log-normal samples: exp of normal samples with mean mu and scale sigma.

        Parameters
        ----------
        mu : float
            The mean of the logarithm.
        sigma : float
            The standard deviation of the logarithm; not checked.
        shape : sequence of int
            The shape of the result.

        Returns
        -------
        Array
            exp(z * sigma + mu) for standard normal z.

        Raises
        ------
        TypeError
            `mu` or `sigma` is not a number, or `shape` is not a sequence of
            integers.
        """

def seed(seed: SupportsIndex) -> Generator:
    """A generator seeded with an integer: the same as Generator.from_seed(seed).

    Parameters
    ----------
    seed : int
        From 0 to 2**64 - 1.

    Returns
    -------
    Generator
        The same seed gives the same stream.

    Raises
    ------
    OverflowError
        A negative seed or one of 2**64 or more.
    TypeError
        `seed` is not an integer.
    """
def new() -> Generator:
    """A generator seeded from the clock: the same as Generator().

    Returns
    -------
    Generator
        Seeded from the nanoseconds since 1970.

    Raises
    ------
    PanicException
        The system clock reads before 1970 ("Time went backwards ...").
    """
