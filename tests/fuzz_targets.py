"""Every public entry point of tessaron, for the fuzzers: functions, static and
bound methods, operators and slots, each called with arbitrary arguments.

A call may only fail with one of ALLOWED; anything else (or a crash) is a defect.
"""
import math
import operator

import numpy as np

import tessaron as ts
from conftest import TREE_CLASSES

ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, NotImplementedError, RuntimeError,
           ts.PanicException)

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
            "indices", "dim", "offset", "other", "min", "max", "arr", "not_a_parameter"]


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


def make_array(shape, values):
    size = math.prod(shape)
    data = (values * (size // max(len(values), 1) + 1))[:size] if values else [0.0] * size
    return ts.Array(shape, data)


def numpy_array(shape, values, dtype):
    size = math.prod(shape)
    data = (values * (size // max(len(values), 1) + 1))[:size] if values else [0.0] * size
    with np.errstate(invalid="ignore", over="ignore"):  # NaN or huge floats cast to ints
        return np.asarray(data, dtype=float).astype(dtype).reshape(shape)
