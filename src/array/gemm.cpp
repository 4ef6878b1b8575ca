#include "array/gemm.hpp"

#include <algorithm>

#include "array/buffer.hpp"
#include "array/isa.hpp"

namespace tessaron {
namespace {

// Register tile: MR rows x NR columns of C held in vector accumulators.
constexpr std::uint64_t MR = 6, NR = 8;
// Cache blocks: a KC x NC panel of B and an MC x KC panel of A are packed.
constexpr std::uint64_t KC = 256, MC = 96, NC = 128;

// Packs rows [0, mr) of A's block into MR-interleaved order: for each t, the
// MR values a[r][t] side by side (missing rows padded with zeros).
void pack_a(const double* a, std::uint64_t lda, std::uint64_t mc, std::uint64_t kc, double* out) {
    for (std::uint64_t i0 = 0; i0 < mc; i0 += MR) {
        const std::uint64_t rows = std::min(MR, mc - i0);
        for (std::uint64_t t = 0; t < kc; ++t)
            for (std::uint64_t r = 0; r < MR; ++r)
                *out++ = r < rows ? a[(i0 + r) * lda + t] : 0.0;
    }
}

// Packs B's block into NR-wide column panels: for each t, NR values side by side.
void pack_b(const double* b, std::uint64_t ldb, std::uint64_t kc, std::uint64_t nc, double* out) {
    for (std::uint64_t j0 = 0; j0 < nc; j0 += NR) {
        const std::uint64_t cols = std::min(NR, nc - j0);
        for (std::uint64_t t = 0; t < kc; ++t)
            for (std::uint64_t c = 0; c < NR; ++c) *out++ = c < cols ? b[t * ldb + j0 + c] : 0.0;
    }
}

// One MR x NR tile: continues each element's sum over kc more terms. `first`
// starts the sums at -0.0 instead of reading C.
[[gnu::always_inline]] inline void micro_kernel(std::uint64_t kc, const double* ap, const double* bp,
                                                double* c, std::uint64_t ldc, std::uint64_t rows,
                                                std::uint64_t cols, bool first) {
    v4 acc[MR][2];
    double tile[MR][NR];
    for (std::uint64_t r = 0; r < MR; ++r)
        for (std::uint64_t j = 0; j < NR; ++j)
            tile[r][j] = first || r >= rows || j >= cols ? -0.0 : c[r * ldc + j];
    for (std::uint64_t r = 0; r < MR; ++r) {
        __builtin_memcpy(&acc[r][0], &tile[r][0], sizeof(v4));
        __builtin_memcpy(&acc[r][1], &tile[r][4], sizeof(v4));
    }
    for (std::uint64_t t = 0; t < kc; ++t) {
        v4 b0, b1;
        __builtin_memcpy(&b0, bp + t * NR, sizeof(v4));
        __builtin_memcpy(&b1, bp + t * NR + 4, sizeof(v4));
        for (std::uint64_t r = 0; r < MR; ++r) {
            const double av = ap[t * MR + r];
            const v4 a = {av, av, av, av};
            acc[r][0] = acc[r][0] + a * b0;
            acc[r][1] = acc[r][1] + a * b1;
        }
    }
    for (std::uint64_t r = 0; r < MR; ++r) {
        __builtin_memcpy(&tile[r][0], &acc[r][0], sizeof(v4));
        __builtin_memcpy(&tile[r][4], &acc[r][1], sizeof(v4));
    }
    for (std::uint64_t r = 0; r < rows; ++r)
        for (std::uint64_t j = 0; j < cols; ++j) c[r * ldc + j] = tile[r][j];
}

// Packed panels, in one allocation; written in full before every read, so
// left uninitialised.
struct Workspace {
    Buffer storage;
    double* a;
    double* b;
};

[[gnu::always_inline]] inline void blocked(std::uint64_t m, std::uint64_t n, std::uint64_t p,
                                           const double* a, const double* b, double* c,
                                           double* a_panel, double* b_panel, Watch* watch) {
    for (std::uint64_t jc = 0; jc < p; jc += NC) {
        const std::uint64_t nc = std::min(NC, p - jc);
        for (std::uint64_t pc = 0; pc < n; pc += KC) {
            const std::uint64_t kc = std::min(KC, n - pc);
            pack_b(b + pc * p + jc, p, kc, nc, b_panel);
            for (std::uint64_t ic = 0; ic < m; ic += MC) {
                const std::uint64_t mc = std::min(MC, m - ic);
                pack_a(a + ic * n + pc, n, mc, kc, a_panel);
                for (std::uint64_t jr = 0; jr < nc; jr += NR)
                    for (std::uint64_t ir = 0; ir < mc; ir += MR)
                        micro_kernel(kc, a_panel + ir * kc, b_panel + jr * kc,
                                     c + (ic + ir) * p + jc + jr, p, std::min(MR, mc - ir),
                                     std::min(NR, nc - jr), pc == 0);
                if (watch) watch->tick(mc * kc * nc / 4);  // about one unit per four products
            }
        }
    }
}

// The plain loop, for products too small to repay packing.
void naive(std::uint64_t m, std::uint64_t n, std::uint64_t p, const double* a, const double* b,
           double* c) {
    for (std::uint64_t i = 0; i < m; ++i)
        for (std::uint64_t j = 0; j < p; ++j) {
            double s = -0.0;
            for (std::uint64_t t = 0; t < n; ++t) s += a[i * n + t] * b[t * p + j];
            c[i * p + j] = s;
        }
}

}  // namespace

void gemm(std::uint64_t m, std::uint64_t n, std::uint64_t p, const double* a, const double* b,
          double* c, Watch* watch) {
    if (m == 0 || p == 0) return;
    if (n == 0) {
        std::fill_n(c, m * p, -0.0);
        return;
    }
    std::uint64_t work = 0;
    const bool small = !__builtin_mul_overflow(m * p, n, &work) && work <= 4096;
    if (small || m < 2) {
        naive(m, n, p, a, b, c);
        return;
    }
    const std::uint64_t kc = std::min(KC, n);
    const std::uint64_t a_size = (std::min(MC, m) + MR) * kc;
    Workspace w{Buffer::uninit(a_size + (std::min(NC, p) + NR) * kc), nullptr, nullptr};
    w.a = w.storage.data();
    w.b = w.a + a_size;
    with_best_isa<blocked>(m, n, p, a, b, c, w.a, w.b, watch);
}

void transpose_into(std::uint64_t rows, std::uint64_t cols, const double* src, double* dst) {
    // Tiles keep both the reads and the writes within a few cache lines.
    constexpr std::uint64_t kTile = 32;
    for (std::uint64_t i0 = 0; i0 < rows; i0 += kTile)
        for (std::uint64_t j0 = 0; j0 < cols; j0 += kTile)
            for (std::uint64_t i = i0; i < std::min(rows, i0 + kTile); ++i)
                for (std::uint64_t j = j0; j < std::min(cols, j0 + kTile); ++j)
                    dst[j * rows + i] = src[i * cols + j];
}

}  // namespace tessaron
