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
                if not attr.startswith("_"):
                    params = [p for p in inspect.signature(getattr(obj, attr)).parameters if p != "self"]
                    stub = stubs.get(f"{name}.{attr}") or stubs[f"_Tree.{attr}"]
                    assert stub == params, f"{name}.{attr}"
        else:
            assert stubs[name] == list(inspect.signature(obj).parameters), name


def test_examples_type_check():
    out = mypy("mypy", "--cache-dir", str(stub_root() / ".cache"), "--ignore-missing-imports",
               str(ROOT / "examples"))
    assert out.returncode == 0, out.stdout + out.stderr
