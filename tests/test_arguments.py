"""Argument-list errors and argument conversions, through a few functions."""
import pytest

import tessaron as ts

VEC_OR_ARRAY_STR = (
    "argument 'v': failed to extract enum VecOrArray ('Array | Vec')\n"
    "- variant Array (Array): TypeError: failed to extract field VecOrArray::Array.0, caused by "
    "TypeError: 'str' object cannot be cast as 'Array'\n"
    "- variant Vec (Vec): TypeError: failed to extract field VecOrArray::Vec.0, caused by "
    "TypeError: Can't extract `str` to `Vec`"
)


@pytest.mark.parametrize("call, message", [
    (lambda: ts.zeros(), "zeros() missing 1 required positional argument: 'shape'"),
    (lambda: ts.Array(), "Array.__new__() missing 2 required positional arguments: 'shape' and 'data'"),
    (lambda: ts.Array([1]), "Array.__new__() missing 1 required positional argument: 'data'"),
    (lambda: ts.zeros([1], [2]), "zeros() takes 1 positional arguments but 2 were given"),
    (lambda: ts.full([1], 1, 2), "full() takes 2 positional arguments but 3 were given"),
    (lambda: ts.eye(1, 2, 3, 4), "eye() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda: ts.zeros(shape=[1], size=2), "zeros() got an unexpected keyword argument 'size'"),
    (lambda: ts.full([1], shape=[1]), "full() got multiple values for argument 'shape'"),
    (lambda: ts.Array.zeros(), "Array.zeros() missing 1 required positional argument: 'shape'"),
    (lambda: ts.zeros([1]).tolist(1), "Array.tolist() takes 0 positional arguments but 1 was given"),
    (lambda: ts.zeros([1]).to_pylist_recursive(),
     "Array.to_pylist_recursive() missing 2 required positional arguments: 'dim' and 'offset'"),
    (lambda: ts.Array.__new__(ts.Array, [1]), "Array.__new__() missing 1 required positional argument: 'data'"),
])
def test_argument_list_errors(call, message):
    with pytest.raises(TypeError) as e:
        call()
    assert str(e.value) == message


@pytest.mark.parametrize("call, exc, message", [
    (lambda: ts.zeros("ab"), TypeError, "argument 'shape': Can't extract `str` to `Vec`"),
    (lambda: ts.zeros(3), TypeError, "argument 'shape': 'int' object cannot be cast as 'Sequence'"),
    (lambda: ts.zeros([2.0]), TypeError,
     "argument 'shape': 'float' object cannot be interpreted as an integer"),
    (lambda: ts.zeros([-1]), OverflowError, None),
    (lambda: ts.zeros([2**64]), OverflowError, None),
    (lambda: ts.Array([1], ["x"]), TypeError, "argument 'data': must be real number, not str"),
    (lambda: ts.Array([1], [2**1024]), OverflowError, None),
    (lambda: ts.full([1], "x"), TypeError, "argument 'fill_value': must be real number, not str"),
    (lambda: ts.eye(-1), OverflowError, None),
    (lambda: ts.eye(1.5), TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
    (lambda: ts.eye(1, k=2**63), OverflowError, None),
    (lambda: ts.diag("ab"), TypeError, VEC_OR_ARRAY_STR),
    (lambda: ts.Array.from_numpy([1.0]), TypeError, "argument 'arr': 'list' object cannot be cast as 'ndarray'"),
])
def test_conversion_errors(call, exc, message):
    with pytest.raises(exc) as e:
        call()
    assert type(e.value) is exc
    if message is not None:  # None: CPython's own wording, which varies by version
        assert str(e.value) == message


def test_vec_or_array_reports_the_element_error_of_the_vec_variant():
    with pytest.raises(TypeError) as e:
        ts.asarray([1.0, None])
    assert str(e.value).endswith(
        "failed to extract field VecOrArray::Vec.0, caused by TypeError: must be real number, not NoneType")
    assert str(e.value).startswith("argument 'data': failed to extract enum VecOrArray ('Array | Vec')\n")


def test_prefixed_error_keeps_the_original_cause():
    cause = KeyError("inner")

    class Bad:
        def __float__(self):
            raise TypeError("bad float") from cause

    with pytest.raises(TypeError) as e:
        ts.full([1], Bad())
    assert str(e.value) == "argument 'fill_value': bad float"
    assert e.value.__cause__ is cause


def test_non_type_errors_from_hooks_pass_unchanged():
    class Boom:
        def __float__(self):
            raise ZeroDivisionError("boom")

    with pytest.raises(ZeroDivisionError, match="^boom$"):
        ts.Array([1], [Boom()])


def test_generic_sequences_are_read_by_iteration():
    class Seq:
        def __len__(self):
            return 10**18  # only a capacity hint

        def __getitem__(self, i):
            if i >= 3:
                raise IndexError
            return i * 1.5

    assert ts.Array([3], Seq()).tolist() == [0.0, 1.5, 3.0]
    assert ts.zeros(range(2, 4)).shape == [2, 3]


def test_a_list_changed_by_a_conversion_hook_is_read_safely():
    data = [1.0, 2.0, 3.0]

    class Shrink:
        def __float__(self):
            del data[1:]
            return 9.0

    data.insert(0, Shrink())
    a = ts.asarray(data)
    assert a.tolist()[0] == 9.0
