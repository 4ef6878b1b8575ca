"""A seedable xoshiro256** generator with bit-exact streams."""
from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, final

from . import Array

__all__ = ["Generator", "seed", "new"]

_Shape = Sequence[SupportsIndex]
_Float = SupportsFloat | SupportsIndex

@final
class Generator:
    """xoshiro256** seeded by SplitMix64; Generator() seeds from the clock."""
    def __new__(cls) -> Generator: ...
    @staticmethod
    def from_seed(seed: SupportsIndex) -> Generator:
        """A generator seeded with an unsigned 64-bit integer."""
    def uniform(self, low: _Float, high: _Float, shape: _Shape) -> Array:
        """Uniform samples in [low, high)."""
    def standard_normal(self, shape: _Shape) -> Array:
        """Standard normal samples (Box-Muller)."""
    def normal(self, mu: _Float, sigma: _Float, shape: _Shape) -> Array:
        """Normal samples."""
    def randint(self, low: SupportsIndex, high: SupportsIndex, shape: _Shape) -> Array:
        """Integers in [low, high), as floats."""
    def gamma(self, shape_param: _Float, scale: _Float, shape: _Shape) -> Array:
        """Gamma samples (Marsaglia-Tsang)."""
    def beta(self, alpha: _Float, beta_param: _Float, shape: _Shape) -> Array:
        """Beta samples."""
    def lognormal(self, mu: _Float, sigma: _Float, shape: _Shape) -> Array:
        """Log-normal samples."""

def seed(seed: SupportsIndex) -> Generator:
    """A generator seeded with an unsigned 64-bit integer."""
def new() -> Generator:
    """A generator seeded from the clock."""
