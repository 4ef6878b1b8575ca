import importlib
import subprocess
import sys

import pytest

import tessaron as ts

TOP_LEVEL = ["Array", "PyArrayIter", "Generator", "BallTree", "KDTree", "zeros", "ones", "full",
             "asarray", "eye", "diag", "column_stack", "linalg", "stats", "random", "spatial"]


def test_all_lists_the_top_level_names_in_order():
    assert ts.__all__ == [n for n in TOP_LEVEL if hasattr(ts, n)]


def test_import_twice_gives_the_same_module():
    again = importlib.import_module("tessaron")
    assert again is ts
    # Reinitialising after removal from the registry returns the cached module.
    del sys.modules["tessaron"]
    try:
        assert importlib.import_module("tessaron").Array is ts.Array
    finally:
        sys.modules["tessaron"] = ts


IMPORTS = """
import tessaron.stats, tessaron.linalg as la
from tessaron.spatial import KDTree, VPTree
from tessaron.random import seed
import tessaron as ts
assert (tessaron.stats, la, KDTree, seed) == (ts.stats, ts.linalg, ts.spatial.KDTree, ts.random.seed)
print([m.__name__ for m in (ts.linalg, ts.stats, ts.random, ts.spatial)], ts.spatial.__all__)
"""


def test_submodules_import_in_a_fresh_interpreter():
    out = subprocess.run([sys.executable, "-c", IMPORTS], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == ("['tessaron.linalg', 'tessaron.stats', 'tessaron.random', 'tessaron.spatial'] "
                                  "['BallTree', 'KDTree', 'VPTree']")


CLASSES = [ts.Array, ts.PyArrayIter, ts.Generator, ts.PanicException, ts.spatial.KDTree, ts.spatial.BallTree,
           ts.spatial.VPTree, ts.spatial.IndexMatrix]


def public_functions():
    for module in (ts, ts.linalg, ts.stats, ts.random, ts.spatial):
        for name in module.__all__:
            obj = getattr(module, name)
            if callable(obj):
                yield pytest.param(obj, id=f"{module.__name__}.{name}")
    for cls in CLASSES:  # the classes themselves and their static methods
        yield pytest.param(cls, id=cls.__name__)
        for name, raw in vars(cls).items():
            if isinstance(raw, staticmethod) or type(raw).__name__ == "staticmethod":
                yield pytest.param(getattr(cls, name), id=f"{cls.__name__}.{name}")


@pytest.mark.parametrize("fn", public_functions())
def test_every_public_function_and_class_pickles_by_reference(fn):
    import pickle
    for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
        back = pickle.loads(pickle.dumps(fn, protocol))
        assert back is fn or back == fn  # a static method comes back bound to the same class


def test_the_version_is_the_package_version():
    import importlib.metadata
    assert ts.__version__ == importlib.metadata.version("tessaron")


@pytest.mark.parametrize("method", ["spawn", "fork"])
def test_module_functions_map_over_a_process_pool(method):
    import multiprocessing
    arrays = [ts.asarray([1.0, 2.0, float(i)]) for i in range(6)]
    with multiprocessing.get_context(method).Pool(2) as pool:
        assert pool.map(ts.stats.mean, arrays) == [a.mean() for a in arrays]


def test_panic_is_not_caught_by_except_exception_and_interpreter_survives(capfd):
    caught = None
    try:
        try:
            ts.diag(ts.zeros([2, 2]))
        except Exception:  # must not catch it
            caught = "Exception"
    except BaseException as e:
        caught = e
    assert isinstance(caught, ts.PanicException)
    assert caught.args == ("assertion `left == right` failed: Input must be 1D\n  left: 2\n right: 1",)
    err = capfd.readouterr().err
    assert "Input must be 1D" in err
    assert "internal assertion failed at src/array/" in err  # relative to the source tree, not the build machine
    assert ts.zeros([1]).tolist() == [0.0]


def test_classes_are_unqualified_final_and_without_dict():
    assert ts.Array.__name__ == "Array" and ts.PyArrayIter.__name__ == "PyArrayIter"
    with pytest.raises(TypeError):
        type("Sub", (ts.Array,), {})
    a = ts.zeros([1])
    with pytest.raises(AttributeError):
        a.extra = 1
    with pytest.raises(TypeError):
        ts.PyArrayIter()


def test_second_interpreter_is_refused():
    code = (
        "import tessaron\n"
        "try:\n"
        "    import _interpreters as s\n"
        "except ImportError:\n"
        "    import _xxsubinterpreters as s\n"
        "i = s.create()\n"
        "try:\n"
        "    failure = s.run_string(i, 'import tessaron')\n"  # newer Pythons return the failure
        "    print('refused' if failure is not None else 'imported')\n"
        "except Exception as e:\n"
        "    print('refused', e)\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert "refused" in out.stdout
