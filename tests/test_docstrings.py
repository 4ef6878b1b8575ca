"""help() explains: the runtime docstrings are the stubs' docstrings, in NumPy's style,
and docs/api.md is generated from the same text."""
import importlib
import importlib.util
import inspect
import pathlib
import re

import pytest

import tessaron as ts
from test_signatures import CALLABLES

ROOT = pathlib.Path(__file__).resolve().parent.parent
_spec = importlib.util.spec_from_file_location("docstrings_tool", ROOT / "tools" / "docstrings.py")
tool = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(tool)
PROSE = {key: doc for _, key, _, doc in tool.entries()}
MODULES = {f"tessaron.{m}" for m in ("linalg", "stats", "random", "spatial")}
CLASSES = {c.__name__: c for c in [ts.Array, ts.PanicException, ts.Generator, *ts.spatial.__dict__.values()]
           if isinstance(c, type)}


def runtime(key):
    """The object a prose key documents: a module, a module function, a class or a class member."""
    if key == "tessaron" or key in MODULES:
        return importlib.import_module(key)
    if key.startswith("tessaron."):
        module, _, name = key.rpartition(".")
        return getattr(importlib.import_module(module), name)
    cls, _, member = key.partition(".")
    obj = inspect.getattr_static(CLASSES[cls], member) if member else CLASSES[cls]
    return obj.__func__ if isinstance(obj, staticmethod) else obj


def from_our_tables(obj):
    """Modules, classes, functions and methods carry our docstrings; slot wrappers and properties carry CPython's."""
    return isinstance(obj, (type, type(ts))) or type(obj).__name__ in (
        "builtin_function_or_method", "method_descriptor")


@pytest.mark.parametrize("key", sorted(PROSE))
def test_runtime_docstring_is_the_stub_docstring(key):
    obj = runtime(key)
    if not from_our_tables(obj):
        assert key.rpartition(".")[2].startswith("__") or key == "Array.shape", key
        return
    assert inspect.getdoc(obj) == PROSE[key]
    if isinstance(obj, type):  # the constructors' text signatures stay in front
        assert obj.__text_signature__ == {"Array": "(shape, data)", "Generator": "()",
                                          "Metric": "(name, *, p=None, period=None)",
                                          "KernelDensity": '(*, bandwidth=1.0, kernel="gaussian", metric="euclidean", '
                                                           'tree="kd", leaf_size=40, atol=0.0, rtol=0.0, workers=1)'}.get(key)


def sections(doc):
    """{section title: its lines} of a NumPy-style docstring."""
    found, title, lines = {}, "summary", doc.splitlines()
    for i, line in enumerate(lines):
        if i + 1 < len(lines) and re.fullmatch(r"-{3,}", lines[i + 1]) and line.strip():
            title = line.strip()
            found[title] = []
        elif not re.fullmatch(r"-{3,}", line):
            found.setdefault(title, []).append(line)
    return found


@pytest.mark.parametrize("label, fn", CALLABLES, ids=[c[0] for c in CALLABLES])
def test_every_public_callable_explains_itself(label, fn):
    doc = inspect.getdoc(fn)
    assert doc, label
    parts = sections(doc)
    summary = parts["summary"][0]
    assert summary.endswith(".") and len(summary) <= 88, summary
    assert "Returns" in parts
    # The documented parameters are exactly the signature's, in its order.
    documented = []
    for line in parts.get("Parameters", []):
        head = re.match(r"^(\w+(?:, \w+)*) : ", line)
        if head:
            documented += head.group(1).split(", ")
    assert documented == list(inspect.signature(fn).parameters)


def test_the_api_reference_is_generated_from_the_same_text():
    assert (ROOT / "docs" / "api.md").read_text() == tool.markdown(tool.entries())
