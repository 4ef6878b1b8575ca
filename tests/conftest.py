import pytest

import tessaron as ts

# The tree classes, and the same with the VP-tree's random vantage rule as a
# class-like entry (from_array with the same parameters as the others).
TREE_CLASSES = [ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree]


class RandomVPTree:
    """VPTree with the random vantage-point rule, built like the other classes."""
    __name__ = "RandomVPTree"

    @staticmethod
    def from_array(array, leaf_size=20, metric="euclidean"):
        return ts.spatial.VPTree.from_array(array, leaf_size, metric, "random")


TREE_BUILDS = TREE_CLASSES + [RandomVPTree]


@pytest.fixture
def a23():
    """A 2x3 array holding 1..6."""
    return ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
