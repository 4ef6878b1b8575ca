"""Coverage-guided fuzzing of every public entry point with atheris.

Usage: python tools/fuzz_atheris.py -atheris_runs=1000000   (pip install atheris)

The input bytes choose an entry point and its arguments (kinds and values,
as the Hypothesis fuzzer in tests/test_fuzz.py does). A call may only fail
with one of the documented exception classes; anything else, or a crash,
stops the run with the input that caused it. Coverage guidance comes from
the Python side (this harness and the entry-point tables): the extension is
built by GCC, which cannot add libFuzzer's native instrumentation.
"""
import math
import sys

import atheris

with atheris.instrument_imports():
    import numpy as np

sys.path.insert(0, __file__.rsplit("/", 2)[0] + "/tests")
import tessaron as ts  # noqa: E402

with atheris.instrument_imports():
    from fuzz_targets import (BIG_INTS, KEYWORDS, NAMES, SLOTS, SPECIAL_FLOATS, call,  # noqa: E402
                              instance_methods, make_array, module_functions, numpy_array)

FUNCTIONS = module_functions()


class Reader:
    """Values of every kind, drawn from the fuzzer's bytes."""

    def __init__(self, data):
        self.f = atheris.FuzzedDataProvider(data)

    def pick(self, seq):
        return seq[self.f.ConsumeIntInRange(0, len(seq) - 1)]

    def float(self):
        return self.pick(SPECIAL_FLOATS) if self.f.ConsumeBool() else self.f.ConsumeRegularFloat()

    def shape(self):
        return [self.f.ConsumeIntInRange(0, 4) for _ in range(self.f.ConsumeIntInRange(0, 3))]

    def array(self):
        return make_array(self.shape(), [self.float() for _ in range(self.f.ConsumeIntInRange(0, 6))])

    def value(self, depth=0):
        kind = self.f.ConsumeIntInRange(0, 9 if depth < 2 else 7)
        if kind == 0:
            return None
        if kind == 1:
            return self.f.ConsumeIntInRange(-4, 8)
        if kind == 2:
            return self.pick(BIG_INTS)
        if kind == 3:
            return self.float()
        if kind == 4:
            return self.pick(NAMES) if self.f.ConsumeBool() else self.f.ConsumeUnicode(4)
        if kind == 5:
            return self.array()
        if kind == 6:
            return numpy_array(self.shape(), [self.float()], self.pick([np.float64, np.float32, np.int64]))
        if kind == 7:
            return self.f.ConsumeBool()
        items = [self.value(depth + 1) for _ in range(self.f.ConsumeIntInRange(0, 4))]
        return items if kind == 8 else tuple(items)

    def arguments(self):
        args = [self.value() for _ in range(self.f.ConsumeIntInRange(0, 5))]
        kwargs = {self.pick(KEYWORDS): self.value() for _ in range(self.f.ConsumeIntInRange(0, 2))}
        return args, kwargs


@atheris.instrument_func
def target(data):
    r = Reader(data)
    kind = r.f.ConsumeIntInRange(0, 4)
    if kind == 0:
        fn = r.pick(FUNCTIONS)
    elif kind == 1:
        fn = r.pick(instance_methods(r.array()))
    elif kind == 2:
        fn = r.pick(instance_methods(ts.random.seed(r.f.ConsumeIntInRange(0, 2**64 - 1))))
    elif kind == 3:
        cls = r.pick([ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree])
        points = make_array([r.f.ConsumeIntInRange(0, 6), 2], [r.float() for _ in range(4)])
        try:
            tree = cls.from_array(points, 2)
        except (ValueError, ts.PanicException):
            tree = cls.from_array(ts.zeros([3, 2]), 2)
        fn = r.pick(instance_methods(tree))
    else:
        slot = r.pick(SLOTS)
        args, _ = r.arguments()
        call(slot, [r.array()] + args[:2], {})
        return
    args, kwargs = r.arguments()
    call(fn, args, kwargs)


if __name__ == "__main__":
    for method in ("pick", "float", "shape", "array", "value", "arguments"):
        setattr(Reader, method, atheris.instrument_func(getattr(Reader, method)))
    atheris.Setup(sys.argv, target)
    atheris.Fuzz()
