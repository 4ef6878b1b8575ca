"""Every public callable's text signature lists exactly the keywords it accepts."""
import inspect
import re

import pytest

import tessaron as ts
from conftest import TREE_CLASSES

SUBMODULES = [ts.linalg, ts.stats, ts.random, ts.spatial]


def public_callables():
    """(label, callable) for every function, static method and bound method."""
    found = {}
    for module in [ts] + SUBMODULES:
        for name in getattr(module, "__all__", []):
            obj = getattr(module, name)
            if isinstance(obj, type):
                found.update(class_callables(obj))
            elif callable(obj):
                found[f"{module.__name__}.{name}"] = obj
    return sorted(found.items())


def class_callables(cls):
    instance = {ts.Array: lambda: ts.zeros([2, 2]),
                ts.Generator: lambda: ts.random.seed(1),
                ts.spatial.KDTree: lambda: ts.spatial.KDTree.from_array(ts.zeros([2, 2])),
                ts.spatial.BallTree: lambda: ts.spatial.BallTree.from_array(ts.zeros([2, 2])),
                ts.spatial.VPTree: lambda: ts.spatial.VPTree.from_array(ts.zeros([2, 2]))}.get(cls)
    out = {}
    for name, raw in vars(cls).items():
        if name.startswith("_") or not callable(raw) and not isinstance(raw, staticmethod):
            continue
        if isinstance(raw, staticmethod) or type(raw).__name__ == "builtin_function_or_method":
            out[f"{cls.__name__}.{name}"] = getattr(cls, name)
        elif instance is not None:
            out[f"{cls.__name__}.{name}"] = getattr(instance(), name)
    return out


CALLABLES = public_callables()


def parameters(fn):
    return list(inspect.signature(fn).parameters.values())


@pytest.mark.parametrize("label, fn", CALLABLES, ids=[c[0] for c in CALLABLES])
def test_text_signature_matches_the_parser(label, fn):
    params = parameters(fn)
    names = [p.name for p in params]
    positional = [p for p in params if p.kind is not inspect.Parameter.KEYWORD_ONLY]
    required = [p.name for p in params if p.default is inspect.Parameter.empty]

    with pytest.raises(TypeError, match=r"got an unexpected keyword argument 'not_a_parameter'$"):
        fn(not_a_parameter=1)

    given = f"{len(positional) + 1} {'was' if not positional else 'were'} given"
    with pytest.raises(TypeError, match=rf"takes .*{len(positional)} positional arguments but {given}$"):
        fn(*([object()] * (len(positional) + 1)))

    if required:
        with pytest.raises(TypeError, match="missing") as info:
            fn()
        assert re.findall(r"'(\w+)'", str(info.value)) == required

    if names:
        # Every listed keyword is accepted: the call gets as far as converting arguments.
        with pytest.raises(TypeError) as info:
            fn(**{n: object() for n in names})
        message = str(info.value)
        assert "unexpected keyword" not in message and "missing" not in message


POINTS = ts.Array.from_numpy(__import__("numpy").random.default_rng(5).random((60, 3)))
TREE_OF = {cls.__name__: cls.from_array(POINTS, 4) for cls in TREE_CLASSES}
# The required arguments of every callable that has a defaulted parameter,
# chosen so that a default off by one shows: 41 points split differently
# with leaves of 19, 20 or 21 points, and eig's iteration does not converge
# (eigenvalues of nearly equal size), so one step more changes its answer.
REQUIRED = {"asarray": ([1.0, 2.0, 3.0, 4.0],), "diag": ([1.0, 2.0],), "eye": (3,), "diagonal": (),
            "from_array": (ts.Array.from_numpy(__import__("numpy").random.default_rng(6).random((41, 3))),),
            "kernel_density": (), "kernel_density_approx": (),
            "eig_with_params": (ts.Array([2, 2], [1.0, 1e-3, 1e-3, -1.0000001]),),
            "kernel_density_batch": (),
            "query_knn_batch": ([[0.5, 0.5, 0.5], [0.1, 0.9, 0.2]], 3),
            "query_radius_batch": ([[0.5, 0.5, 0.5], [0.1, 0.9, 0.2]], 0.3),
            "query_pairs": (0.3,), "count_neighbors": ([[0.5, 0.5, 0.5], [0.1, 0.9, 0.2]], [0.2, 0.4]),
            "sparse_distance_matrix": ([[0.5, 0.5, 0.5], [0.1, 0.9, 0.2]], 0.3),
            "tessaron.linalg.diagonal": (ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]),)}


def answer(value):
    """A comparable form of a result: bits of floats and Arrays, tree states."""
    if isinstance(value, ts.Array):
        return "Array", value.shape, ts.Array.__reduce__(value)[1]
    if isinstance(value, tuple):
        return tuple(answer(v) for v in value)
    if isinstance(value, tuple(TREE_CLASSES)):
        return value.__reduce__()[1]
    if isinstance(value, (memoryview, ts.spatial.IndexMatrix)):
        return value.tolist()
    return repr(value)


def with_defaults():
    for label, fn in CALLABLES:
        cls, _, name = label.rpartition(".")
        if cls in TREE_OF and not isinstance(inspect.getattr_static(type(TREE_OF[cls]), name), staticmethod):
            fn = getattr(TREE_OF[cls], name)  # a tree with points, not the walk's empty one
        if name == "diagonal" and cls == "Array":
            fn = ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]).diagonal
        for p in parameters(fn):
            if p.default is not inspect.Parameter.empty:
                required = REQUIRED.get(label, REQUIRED[name])
                yield pytest.param(fn, required, p.name, p.default, id=f"{label}-{p.name}")


@pytest.mark.parametrize("fn, required, param, default", list(with_defaults()))
@pytest.mark.filterwarnings("ignore:eig did not converge")
def test_an_omitted_argument_is_its_default(fn, required, param, default):
    assert answer(fn(*required)) == answer(fn(*required, **{param: default}))
