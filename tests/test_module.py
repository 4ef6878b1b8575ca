import importlib
import subprocess
import sys

import pytest

import tessaron as ts

TOP_LEVEL = ["Array", "PyArrayIter", "Generator", "BallTree", "KDTree", "zeros", "ones", "full",
             "asarray", "eye", "diag", "column_stack", "linalg", "stats", "random", "spatial"]


def test_all_lists_the_top_level_names_in_order():
    present = [n for n in TOP_LEVEL if hasattr(ts, n)]
    assert ts.__all__ == present
    for name in ts.__all__:
        assert hasattr(ts, name)


def test_import_twice_gives_the_same_module():
    again = importlib.import_module("tessaron")
    assert again is ts
    # Reinitialising after removal from the registry returns the cached module.
    del sys.modules["tessaron"]
    try:
        assert importlib.import_module("tessaron").Array is ts.Array
    finally:
        sys.modules["tessaron"] = ts


@pytest.mark.parametrize("name", ["linalg", "stats", "random", "spatial"])
def test_submodules_are_attributes_not_registered(name):
    sub = getattr(ts, name)
    assert sub.__name__ == name
    assert f"tessaron.{name}" not in sys.modules
    with pytest.raises(ImportError):
        importlib.import_module(f"tessaron.{name}")


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
