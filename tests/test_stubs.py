"""The type stubs match the runtime API, and the examples type-check against them."""
import ast
import inspect
import os
import pathlib
import subprocess
import sys

import pytest

import tessaron as ts

pytest.importorskip("mypy")
ROOT = pathlib.Path(__file__).resolve().parent.parent
STUBS = ROOT / "stubs" / "tessaron-stubs"


def mypy(*args, cwd=ROOT):
    env = dict(os.environ, MYPYPATH=str(stub_root()))
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True, cwd=cwd, env=env)


def stub_root(cache={}):
    """A folder holding the stubs as the package `tessaron`, as a type checker sees them installed."""
    if "dir" not in cache:
        import tempfile
        import shutil
        cache["dir"] = pathlib.Path(tempfile.mkdtemp())
        shutil.copytree(STUBS, cache["dir"] / "tessaron")
    return cache["dir"]


def test_stubtest_finds_no_difference():
    out = mypy("mypy.stubtest", "tessaron", "--allowlist", str(ROOT / "stubs" / "stubtest-allowlist.txt"))
    assert out.returncode == 0, out.stdout + out.stderr


def stub_functions(path):
    """name -> parameter names (without self) of every function and method in a stub file."""
    found = {}
    for node in ast.walk(ast.parse(path.read_text())):
        if isinstance(node, ast.ClassDef):
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    args = item.args.args + item.args.kwonlyargs
                    found.setdefault(f"{node.name}.{item.name}", [a.arg for a in args if a.arg != "self"])
        elif isinstance(node, ast.FunctionDef) and node.col_offset == 0:
            found.setdefault(node.name, [a.arg for a in node.args.args + node.args.kwonlyargs])
    return found


@pytest.mark.parametrize("module", ["linalg", "stats", "random", "spatial"])
def test_submodule_stubs_match_the_runtime(module):
    runtime = getattr(ts, module)
    stubs = stub_functions(STUBS / f"{module}.pyi")
    for name in runtime.__all__:
        obj = getattr(runtime, name)
        if isinstance(obj, type):
            for attr in dir(obj):
                if not attr.startswith("_") and callable(getattr(obj, attr)):
                    params = [p for p in inspect.signature(getattr(obj, attr)).parameters if p != "self"]
                    stub = stubs.get(f"{name}.{attr}") or stubs[f"_Tree.{attr}"]
                    assert stub == params, f"{name}.{attr}"
        else:
            assert stubs[name] == list(inspect.signature(obj).parameters), name


def test_examples_type_check():
    out = mypy("mypy", "--cache-dir", str(stub_root() / ".cache"), "--ignore-missing-imports",
               str(ROOT / "examples"))
    assert out.returncode == 0, out.stdout + out.stderr


NUMPY_USER = """
import array
import numpy as np
import tessaron as ts

x = np.random.default_rng(0).random((50, 3))
tree = ts.spatial.KDTree.from_array(x, leaf_size=8)
distances, rows = tree.query_knn_batch(x.astype(np.float32), 3, workers=2)
first: list[int] = rows.tolist()[0]
m: float = ts.stats.mean(x[:, 0]) + ts.stats.median(array.array("d", [1.0, 2.0]))
q = ts.linalg.cholesky(x.T @ x)
p = ts.zeros([3, 3]).matmul(np.eye(3)).dot(np.eye(3))
d = ts.linalg.dot(memoryview(array.array("d", [1.0, 2.0])), np.ones(2))
stacked = ts.column_stack([x[:, 0], ts.asarray([1.0] * 50)])
"""


@pytest.mark.parametrize("version", ["3.11", "3.14"])
def test_a_numpy_user_script_type_checks(version, tmp_path):
    script = tmp_path / "user.py"
    script.write_text(NUMPY_USER)
    out = mypy("mypy", "--python-version", version, "--cache-dir", str(tmp_path / ".cache"), str(script))
    assert out.returncode == 0, out.stdout + out.stderr
    exec(compile(NUMPY_USER, "user.py", "exec"), {})  # and it runs
