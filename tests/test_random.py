"""Bit-exact streams against an independent reference written in plain Python
(Python floats are IEEE doubles and math calls the C library)."""
import math

import numpy as np
import pytest

import tessaron as ts

MASK = (1 << 64) - 1
TWO_PI = 6.283185307179586


def clog(x):
    """C's log, which gives -inf at 0 where Python's math.log raises."""
    return -math.inf if x == 0 else math.log(x)


class Reference:
    def __init__(self, seed):
        self.s = []
        for i in range(1, 5):
            z = (seed + i * 0x9E3779B97F4A7C15) & MASK
            z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
            z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
            self.s.append(z ^ (z >> 31))

    @staticmethod
    def rotl(x, k):
        return ((x << k) | (x >> (64 - k))) & MASK

    def u64(self):
        s = self.s
        result = (self.rotl((s[1] * 5) & MASK, 7) * 9) & MASK
        t = (s[1] << 17) & MASK
        s[2] ^= s[0]
        s[3] ^= s[1]
        s[1] ^= s[2]
        s[0] ^= s[3]
        s[2] ^= t
        s[3] = self.rotl(s[3], 45)
        return result

    def f64(self):
        return (self.u64() >> 11) * 2.0 ** -53

    def nonzero(self):
        u = self.f64()
        while u == 0.0:
            u = self.f64()
        return u

    def standard_normal(self, n):
        out = []
        while len(out) + 2 <= n:
            u1, u2 = self.nonzero(), self.nonzero()
            r, theta = math.sqrt(math.log(u1) * -2.0), u2 * TWO_PI
            out += [r * math.sin(theta), r * math.cos(theta)]
        if n % 2:
            u1, u2 = self.nonzero(), self.nonzero()
            out.append(math.sqrt(math.log(u1) * -2.0) * math.sin(u2 * TWO_PI))
        return out

    def gamma1(self, a):
        if a < 1.0:
            g = self.gamma1(a + 1.0)
            return g * math.pow(self.f64(), 1.0 / a)
        d = a + (-0.3333333333333333)
        c = 1.0 / math.sqrt(d * 9.0)
        while True:
            u1, u2 = self.f64(), self.f64()
            x = math.sqrt(clog(u1) * -2.0) * math.cos(u2 * TWO_PI)
            v = c * x + 1.0
            if not v > 0:
                continue
            v = v * (v * v)
            u = self.f64()
            if u < 1.0 + x * (x * (x * (x * -0.0331))):
                return d * v
            if clog(u) < x * (x * 0.5) + d * ((1.0 - v) + clog(v)):
                return d * v

    def uniform(self, low, high, n):
        r = high - low
        return [low + self.f64() * r for _ in range(n)]

    def randint(self, low, high, n):
        r = (high - low) & MASK
        out = []
        for _ in range(n):
            v = (low + self.u64() % r) & MASK
            out.append(float(v - (1 << 64) if v >= 1 << 63 else v))
        return out


def size(shape):
    return math.prod(shape)


SEEDS = [0, 1, 42, 2**64 - 1, 0xDEADBEEF]
SHAPES = [[], [1], [3], [2, 3], [0], [4, 0, 2], [5, 1, 3]]


def check(got, shape, expected):
    assert got.shape == shape
    assert list(got) == expected
    assert [math.copysign(1, v) for v in got] == [math.copysign(1, v) for v in expected]


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("shape", SHAPES)
def test_every_distribution_matches_the_reference(seed, shape):
    n = size(shape)
    g, ref = ts.random.seed(seed), Reference(seed)
    check(g.uniform(-2.0, 3.5, shape), shape, ref.uniform(-2.0, 3.5, n))
    check(g.standard_normal(shape), shape, ref.standard_normal(n))
    check(g.normal(1.5, 2.0, shape), shape, [z * 2.0 + 1.5 for z in ref.standard_normal(n)])
    check(g.lognormal(0.5, 0.25, shape), shape,
          [math.exp(z * 0.25 + 0.5) for z in ref.standard_normal(n)])
    for a in (0.3, 1.0, 2.5):
        check(g.gamma(a, 1.5, shape), shape, [1.5 * ref.gamma1(a) for _ in range(n)])
    expected = []
    for _ in range(n):
        x = ref.gamma1(2.0)
        y = ref.gamma1(0.7)
        expected.append(x / (x + y))
    check(g.beta(2.0, 0.7, shape), shape, expected)
    check(g.randint(-5, 17, shape), shape, ref.randint(-5, 17, n))
    # Both streams are still in step afterwards.
    assert g.uniform(0.0, 1.0, [1]).tolist() == ref.uniform(0.0, 1.0, 1)


def test_stated_values():
    assert ts.random.seed(0).uniform(0.0, 1.0, [1]).tolist() == [0.6012629994179048]
    assert ts.Generator.from_seed(0).uniform(0.0, 1.0, [1]).tolist() == [0.6012629994179048]
    assert ts.random.seed(0).randint(0, 10, [3]).tolist() == [0.0, 2.0, 8.0]
    assert Reference(0).s == [0xE220A8397B1DCDAF, 0x6E789E6AA1B965F4, 0x06C45D188009454F,
                              0xF88BB8A8724C81EC]
    assert Reference(0).u64() == 0x99EC5F36CB75F2B4


def test_randint_extremes():
    g, ref = ts.random.seed(9), Reference(9)
    assert g.randint(5, 6, [4]).tolist() == [5.0] * 4
    [ref.u64() for _ in range(4)]
    got = g.randint(-2**63, 2**63 - 1, [50]).tolist()
    assert got == ref.randint(-2**63, 2**63 - 1, 50)


P = ts.PanicException


@pytest.mark.parametrize("call, exc, message", [
    (lambda g: g.uniform(1.0, 1.0, [3]), P, "low must be less than high"),
    (lambda g: g.uniform(math.nan, 1.0, [3]), P, "low must be less than high"),
    (lambda g: g.randint(3, 3, [3]), P, "low must be less than high"),
    (lambda g: g.gamma(math.nan, 1.0, [3]), P, "shape parameter must be positive"),
    (lambda g: g.gamma(0.0, 1.0, [3]), P, "shape parameter must be positive"),
    (lambda g: g.gamma(1.0, -1.0, [3]), P, "scale must be positive"),
    (lambda g: g.beta(0.0, 1.0, [2]), P, "alpha must be positive"),
    (lambda g: g.beta(1.0, 0.0, [2]), P, "beta must be positive"),
    (lambda g: g.uniform(0.0, 1.0, [2**40, 2**40]), ValueError, None),
    (lambda g: g.standard_normal([2**63, 4]), ValueError, None),
    (lambda g: g.randint(0, 2, [2**58]), MemoryError, None),
    (lambda g: g.uniform(0.0, 1.0, "ab"), TypeError, None),
    (lambda g: g.uniform(0.0, "x", [1]), TypeError, None),
    (lambda g: g.randint(0, 2**63, [1]), OverflowError, None),
    (lambda g: g.standard_normal([-1]), OverflowError, None),
    (lambda g: g.beta(1.0, "b", [1]), TypeError, "argument 'beta_param': must be real number, not str"),
    (lambda g: g.randint(0.5, 2, [1]), TypeError, "argument 'low': 'float' object cannot be interpreted as an integer"),
    (lambda g: g.uniform(0.0, 1.0), TypeError, "Generator.uniform() missing 1 required positional argument: 'shape'"),
    (lambda g: ts.random.new(1), TypeError, "new() takes 0 positional arguments but 1 was given"),
    (lambda g: ts.Generator(1), TypeError, "Generator.__new__() takes 0 positional arguments but 1 was given"),
    (lambda g: ts.random.seed(-1), OverflowError, None),
    (lambda g: ts.Generator.from_seed(2**64), OverflowError, None),
])
def test_failed_calls_consume_nothing(call, exc, message):
    g = ts.random.seed(7)
    with pytest.raises(exc) as e:
        call(g)
    assert message is None or str(e.value) == message
    assert g.uniform(0.0, 1.0, [3]).tolist() == ts.random.seed(7).uniform(0.0, 1.0, [3]).tolist()


def test_empty_shapes_draw_nothing_and_sigma_zero_still_draws():
    g = ts.random.seed(11)
    assert g.standard_normal([0]).shape == [0] and g.standard_normal([2, 0]).shape == [2, 0]
    assert g.uniform(0.0, 1.0, [1]).tolist() == ts.random.seed(11).uniform(0.0, 1.0, [1]).tolist()
    h = ts.random.seed(11)
    assert h.normal(5.0, 0.0, [4]).tolist() == [5.0] * 4
    assert h.uniform(0.0, 1.0, [1]).tolist() != ts.random.seed(11).uniform(0.0, 1.0, [1]).tolist()


def test_module_and_class():
    assert ts.random.__all__ == ["Generator", "seed", "new"] and ts.Generator is ts.random.Generator
    assert isinstance(ts.random.new(), ts.Generator) and isinstance(ts.Generator(), ts.Generator)


def test_extreme_parameters_stay_in_range_and_keep_the_stream():
    g, ref = ts.random.seed(1), Reference(1)
    got = g.beta(0.001, 0.001, [3000]).tolist()
    assert all(0.0 <= v <= 1.0 for v in got)
    for v in got:  # where the plain ratio is a number in range, the value is that ratio
        x, y = ref.gamma1(0.001), ref.gamma1(0.001)
        if x + y > 0:
            assert v == x / (x + y)
    u = ts.random.seed(2).uniform(-1e308, 1e308, [1000]).to_numpy()
    assert np.all(np.isfinite(u)) and u.min() >= -1e308 and u.max() <= 1e308 and u.min() < 0 < u.max()
