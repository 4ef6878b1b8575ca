"""Every public callable with arguments of random kinds and values: only the
documented exception classes may come out, and nothing may crash.

The normal run is bounded; a long run: TESSARON_FUZZ_EXAMPLES=20000 python -m pytest -q tests/test_fuzz.py
"""
import os

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import tessaron as ts
from conftest import TREE_CLASSES
from fuzz_targets import (BIG_INTS, KEYWORDS, NAMES, SLOTS, SPECIAL_FLOATS, call, instance_methods,
                          make_array, module_functions, numpy_array)

EXAMPLES = int(os.environ.get("TESSARON_FUZZ_EXAMPLES", "300"))
FUZZ = settings(max_examples=EXAMPLES, deadline=None, database=None,
                suppress_health_check=list(HealthCheck))

ints = st.one_of(st.integers(-4, 8), st.sampled_from(BIG_INTS), st.booleans())
floats = st.one_of(st.floats(width=64), st.sampled_from(SPECIAL_FLOATS))
shapes = st.lists(st.integers(0, 4), max_size=3)
arrays = st.builds(make_array, shapes, st.lists(floats, max_size=8))
numpy_arrays = st.builds(numpy_array, shapes, st.lists(floats, max_size=8),
                         st.sampled_from([np.float64, np.float32, np.int64]))
scalars = st.one_of(st.none(), ints, floats, st.sampled_from(NAMES), st.text(max_size=4))
values = st.recursive(st.one_of(scalars, arrays, numpy_arrays),
                      lambda inner: st.one_of(st.lists(inner, max_size=4), st.tuples(inner, inner)),
                      max_leaves=8)
argument_lists = st.lists(values, max_size=5)
keyword_sets = st.dictionaries(st.sampled_from(KEYWORDS), values, max_size=3)
points = st.builds(make_array, st.lists(st.integers(0, 6), min_size=2, max_size=2),
                   st.lists(floats, max_size=12))


def trees(points_array, which):
    cls = TREE_CLASSES[which]
    try:
        return cls.from_array(points_array, 2)
    except (ValueError, ts.PanicException):  # NaN points may not split
        return cls.from_array(ts.zeros([3, 2]), 2)


@FUZZ
@given(st.sampled_from(module_functions()), argument_lists, keyword_sets)
def test_functions(fn, args, kwargs):
    call(fn, args, kwargs)


@FUZZ
@given(arrays, st.data(), argument_lists, keyword_sets)
def test_array_methods(a, data, args, kwargs):
    method = data.draw(st.sampled_from(instance_methods(a)))
    call(method, args, kwargs)
    call(repr, [a], {})  # the array is still whole


@FUZZ
@given(st.integers(0, 2**64 - 1), st.data(), argument_lists, keyword_sets)
def test_generator_methods(seed, data, args, kwargs):
    g = ts.random.seed(seed)
    call(data.draw(st.sampled_from(instance_methods(g))), args, kwargs)


@FUZZ
@given(points, st.integers(0, 2), st.data(), argument_lists, keyword_sets)
def test_tree_methods(p, which, data, args, kwargs):
    tree = trees(p, which)
    call(data.draw(st.sampled_from(instance_methods(tree))), args, kwargs)


@FUZZ
@given(st.sampled_from(SLOTS), arrays, argument_lists)
def test_operators_and_slots(slot, first, rest):
    call(slot, [first] + rest[:2], {})
