"""Every public entry point of tessaron, for the fuzzers: functions, static and
bound methods, operators and slots, each called with arbitrary arguments.

A call may only fail with one of ALLOWED; anything else (or a crash) is a defect.
"""
import math
import operator

import numpy as np

import tessaron as ts
from conftest import TREE_CLASSES

# LookupError: str(a, "x") decodes an Array's buffer in the unknown encoding "x".
ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, NotImplementedError, RuntimeError,
           LookupError, ts.PanicException)

# Integers that are valid, negative, or far past any size that could be
# allocated (so a fuzzed shape fails at once instead of filling memory).
BIG_INTS = [2**40, 2**53, 2**62, 2**63 - 1, 2**63, 2**64 - 1, 2**64, 10**30,
            -1, -2**31, -2**63, -2**63 - 1, -2**64]
SPECIAL_FLOATS = [0.0, -0.0, math.nan, math.inf, -math.inf, 1e308, -1e-320, 0.5, 1.0, 2.0]
NAMES = ["euclidean", "MANHATTAN", "chebyshev", "gaussian", "epanechnikov", "uniform",
         "triangular", "none", "min_samples", "max_span", "combined", "first", "random", "", "x"]
KEYWORDS = ["shape", "data", "fill_value", "n", "m", "k", "v", "arrays", "a", "b", "q", "seed",
            "low", "high", "mu", "sigma", "shape_param", "scale", "alpha", "beta_param",
            "array", "leaf_size", "metric", "selection", "query", "radius", "queries",
            "bandwidth", "kernel", "criterion", "min_samples", "max_span", "max_iter", "tol",
            "indices", "dim", "offset", "other", "min", "max", "arr", "workers", "not_a_parameter"]


def module_functions():
    out = []
    for module in (ts, ts.linalg, ts.stats, ts.random):
        for name in module.__all__:
            obj = getattr(module, name)
            if callable(obj) and not isinstance(obj, type):
                out.append(obj)
    for cls in (ts.Array, ts.Generator, *TREE_CLASSES):
        for name, raw in vars(cls).items():
            if not name.startswith("_") and type(raw).__name__ == "staticmethod" or name in (
                    "zeros", "ones", "full", "eye", "diag", "asarray", "from_numpy", "outer",
                    "from_seed", "from_array"):
                if hasattr(cls, name):
                    out.append(getattr(cls, name))
    out += [ts.Array, ts.Generator]
    return out


def method_names(cls):
    return sorted(n for n in dir(cls) if not n.startswith("_") and callable(getattr(cls, n)))


def swapped(op):
    def call_swapped(a, b=None, *rest):
        return op(b, a, *rest)
    return call_swapped


# Slots and operators with an Array as first operand (and the reflected
# binary forms, with it second).
BINARY = [operator.add, operator.sub, operator.mul, operator.truediv, operator.matmul]
SLOTS = BINARY + [swapped(op) for op in BINARY] + [
    operator.neg, operator.getitem, operator.setitem, operator.delitem, operator.contains,
    len, iter, repr, str, list, lambda a, *rest: a.shape]


def instance_methods(obj):
    return [getattr(obj, n) for n in method_names(type(obj))]


def call(fn, args, kwargs):
    """Calls fn; returns the result, or the exception if it is an allowed one."""
    try:
        return fn(*args, **kwargs)
    except ALLOWED as e:
        return e


def filled(shape, values):
    """`values` repeated (or zeros) to fill `shape`."""
    size = math.prod(shape)
    return (values * (size // max(len(values), 1) + 1))[:size] if values else [0.0] * size


def make_array(shape, values):
    return ts.Array(shape, filled(shape, values))


def numpy_array(shape, values, dtype):
    data = filled(shape, values)
    with np.errstate(invalid="ignore", over="ignore"):  # NaN or huge floats cast to ints
        return np.asarray(data, dtype=float).astype(dtype).reshape(shape)


# A plausible value for each parameter name, so that a call built from a
# callable's signature usually gets through to its real work.
def plausible_arguments():
    m = ts.Array([2, 2], [4.0, 1.0, 1.0, 3.0])
    points = ts.Array.from_numpy(np.random.default_rng(0).random((40, 2)))
    return {
        "shape": [2], "data": [1.0, 2.0], "fill_value": 3.0, "n": 2, "m": 2, "k": 1, "v": [1.0, 2.0],
        "arrays": [m, m], "a": m, "b": m, "q": 0.5, "seed": 3, "low": 0, "high": 5, "mu": 0.0,
        "sigma": 1.0, "shape_param": 2.0, "scale": 1.0, "alpha": 2.0, "beta_param": 3.0,
        "array": points, "leaf_size": 4, "metric": "manhattan", "selection": "random",
        "query": [0.5, 0.5], "radius": 0.3, "queries": ts.Array([2, 2], [0.5, 0.5, 0.1, 0.9]), "bandwidth": 0.5, "kernel": "uniform",
        "criterion": "min_samples", "min_samples": 2, "max_span": None, "max_iter": 5, "tol": 1e-10,
        "indices": [0, 1], "dim": 0, "offset": 0, "other": m, "min": 0.0, "max": 1.0,
        "arr": np.arange(4.0).reshape(2, 2), "dtype": None, "copy": None, "workers": 2,
        "radii": [0.1, 0.3], "max_distance": 0.3, "return_distance": True, "sort_results": True,
        "count_only": False, "flat": True, "cumulative": False, "distance_upper_bound": 0.5,
    }


def every_entry_point(instances):
    """Each function, static method, method of `instances` and slot (with the
    first instance as its operand): as (callable, plausible arguments) and
    again with arguments of the wrong kind."""
    import inspect
    plausible = plausible_arguments()
    targets = module_functions() + [m for obj in instances for m in instance_methods(obj)]
    calls = []
    for fn in targets:
        try:
            names = list(inspect.signature(fn).parameters)
        except ValueError:
            names = []
        calls.append((fn, {n: plausible.get(n) for n in names}))
        calls.append((fn, {n: "x" for n in names}))
    first = instances[0]
    for slot in SLOTS:
        calls += [(lambda s=slot: s(first, 1)), (lambda s=slot: s(first, first)), (lambda s=slot: s(first, "x"))]
    return [c if callable(c) else (lambda fn=c[0], kw=c[1]: fn(**kw)) for c in calls]
