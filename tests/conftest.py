import pytest

import tessaron as ts


@pytest.fixture
def a23():
    """A 2x3 array holding 1..6."""
    return ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
