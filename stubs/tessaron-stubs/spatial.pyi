"""KD-, ball and VP-trees: k-nearest, radius and kernel-density queries."""
from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, final

from typing_extensions import Buffer

from . import Array

__all__ = ["BallTree", "KDTree", "VPTree"]

_Float = SupportsFloat | SupportsIndex
_Query = Array | Sequence[_Float] | _Float
_Queries = Array | Sequence[_Float] | _Float | None
# A batch of queries: an (m, dim) Array, a 2-D buffer of real numbers (a
# NumPy array of any real dtype and layout) or m sequences of dim numbers.
_QueryBatch = Array | Buffer | Sequence[Sequence[_Float]]

class _Tree:
    def query_knn(self, query: _Query, k: SupportsIndex) -> list[int]:
        """Input rows of the k nearest points, nearest first."""
    def query_radius(self, query: _Query, radius: _Float) -> list[int]:
        """Input rows of the points within radius, in the tree's walk order."""
    def kernel_density(self, queries: _Queries = None, bandwidth: _Float | None = 1.0,
                       kernel: str | None = "gaussian") -> float | Array:
        """Exact kernel sums: a float for one query point, else an Array."""
    def kernel_density_approx(self, queries: _Queries = None, bandwidth: _Float | None = 1.0,
                              kernel: str | None = "gaussian", criterion: str | None = "none",
                              min_samples: SupportsIndex | None = None,
                              max_span: _Float | None = None) -> float | Array:
        """Kernel sums with whole nodes estimated by the criterion."""
    def query_knn_batch(self, queries: _QueryBatch, k: SupportsIndex, *,
                        workers: SupportsIndex = 1) -> tuple[Array, memoryview]:
        """Distances (m, min(k, n)) and input rows (int64 memoryview) of each query's nearest points."""
    def query_radius_batch(self, queries: _QueryBatch, radius: _Float, *,
                           workers: SupportsIndex = 1) -> list[list[int]]:
        """Each query's query_radius answer, computed on up to `workers` threads."""
    def kernel_density_batch(self, queries: _QueryBatch | None = None, bandwidth: _Float | None = 1.0,
                             kernel: str | None = "gaussian", criterion: str | None = "none",
                             min_samples: SupportsIndex | None = None, max_span: _Float | None = None, *,
                             workers: SupportsIndex = 1) -> Array:
        """kernel_density_approx for each query (the tree's own points if None), always a 1-D Array."""

@final
class KDTree(_Tree):
    """A k-d tree with median splits along the widest dimension."""
    @staticmethod
    def from_array(array: Array, leaf_size: SupportsIndex | None = 20,
                   metric: str | None = "euclidean") -> KDTree:
        """Builds the tree over the rows of a 2-D Array."""

@final
class BallTree(_Tree):
    """A ball tree: centroid and radius per node, in the tree's metric."""
    @staticmethod
    def from_array(array: Array, leaf_size: SupportsIndex | None = 20,
                   metric: str | None = "euclidean") -> BallTree:
        """Builds the tree over the rows of a 2-D Array."""

@final
class VPTree(_Tree):
    """A vantage-point tree: median distance splits around a vantage point."""
    @staticmethod
    def from_array(array: Array, leaf_size: SupportsIndex | None = 20, metric: str | None = "euclidean",
                   selection: str | None = "first") -> VPTree:
        """Builds the tree over the rows of a 2-D Array."""
