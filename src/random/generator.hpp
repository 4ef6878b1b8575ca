// The library's pseudo-random generator: xoshiro256** seeded by SplitMix64,
// with distributions defined down to the order of raw draws, so that a seed
// gives the same numbers wherever the same C math library is used.
// Parameter checks come before the first draw: a failed call leaves the
// state unchanged.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "array/ndarray.hpp"

namespace tessaron {

class Generator {
public:
    static Generator from_seed(std::uint64_t seed);
    // Seeded from the wall clock (nanoseconds since the Unix epoch).
    static Generator from_clock();

    std::uint64_t next_u64();
    // One of the 2^53 multiples of 2^-53 in [0, 1), from one raw draw.
    double next_f64() { return static_cast<double>(next_u64() >> 11) * 0x1.0p-53; }

    // Both deviates of one Box-Muller pair: (r sin t, r cos t).
    std::pair<double, double> standard_normal_pair();
    // One integer in [low, high): the draw that randint's array holds in
    // each element (the VP-tree's random vantage rule uses it).
    std::int64_t randint(std::int64_t low, std::int64_t high);

    NdArray uniform(double low, double high, const Shape& shape);
    NdArray standard_normal(const Shape& shape);
    // Pairs of deviates fill consecutive elements; an odd last element takes
    // the first deviate of one more pair.
    // normal: z * sigma + mu over standard normal deviates (sigma not validated).
    NdArray normal(double mu, double sigma, const Shape& shape);
    NdArray lognormal(double mu, double sigma, const Shape& shape);
    NdArray gamma(double shape_param, double scale, const Shape& shape);
    NdArray beta(double alpha, double beta, const Shape& shape);
    // Integers in [low, high), converted to the nearest doubles.
    NdArray randint(std::int64_t low, std::int64_t high, const Shape& shape);

    const std::array<std::uint64_t, 4>& state() const { return s_; }
    // A generator continuing from a saved state; the all-zero state, from
    // which xoshiro256** would only ever give zeros, is an Error.
    static Generator from_state(const std::array<std::uint64_t, 4>& s);

private:
    std::array<std::uint64_t, 4> s_{};
};

}  // namespace tessaron
