// The tessaron.linalg submodule: products, views and decompositions.
#include "array/linalg.hpp"
#include "python/array/array_functions.hpp"
#include "python/gil.hpp"
#include "python/module_util.hpp"

namespace tessaron::py::linalg {
namespace {

using EigWithParams = Signature<"eig_with_params(a, max_iter=1000, tol=1e-10)">;
// eig(a) is eig_with_params(a) with these defaults.
static_assert(EigWithParams::default_of<1>.integer == kEigMaxIter && EigWithParams::default_of<2>.number == kEigTol);

// A RuntimeWarning when the iteration stopped on max_iter; the result stands
// (unless the warning is turned into an error).
PyObject* warn_unless_converged(bool converged, PyObject* result) {
    if (!result || converged) return result;
    if (PyErr_WarnEx(PyExc_RuntimeWarning,
                     "eig did not converge: the off-diagonal norm is still at least tol after max_iter "
                     "steps, so the eigenvalues may be inaccurate",
                     1) < 0) {
        Py_DECREF(result);
        return nullptr;
    }
    return result;
}

// Work of at least this many multiplications (a good part of a second)
// runs on the call's own copies of its arguments, without the GIL, where
// the copies cost next to nothing beside it; smaller work keeps the GIL and
// reads the arguments in place. Either way Ctrl-C abandons it.
constexpr std::uint64_t kWorkWithoutGil = std::uint64_t{1} << 30;

// n^3 for an n x n argument (saturating), the measure of the decompositions' work.
std::uint64_t cubed(const NdArray& a) {
    const std::uint64_t n = a.ndim() == 2 ? std::max(a.shape[0], a.shape[1]) : 0;
    std::uint64_t square = 0, cube = 0;
    if (__builtin_mul_overflow(n, n, &square) || __builtin_mul_overflow(square, n, &cube)) return UINT64_MAX;
    return cube;
}

// work(a, watch) on argument 0, whose work is estimate(a); nothing (with the
// exception set) on failure.
template <class Sig, class Estimate, class Work>
auto on_argument(Args<Sig>& in, Estimate&& estimate, Work&& work)
    -> std::optional<decltype(work(std::declval<const NdArray&>(), std::declval<Watch&>()))> {
    std::optional<NdArray> a;
    {
        ArrayArg x;
        if (!arg<0>(in, x)) return std::nullopt;
        if (estimate(x.value()) < kWorkWithoutGil) {
            Watch watch = signal_watch();
            return work(x.value(), watch);
        }
        a = x.take();
    }
    return without_gil([&](Watch& watch) { return work(*a, watch); });
}

using Cholesky = Signature<"cholesky(a)">;
PyObject* cholesky_body(Args<Cholesky>& in) {
    auto l = on_argument<Cholesky>(in, cubed, [](const NdArray& a, Watch& w) { return cholesky(a, &w); });
    return l ? wrap_array(std::move(*l)) : nullptr;
}

using Qr = Signature<"qr(a)">;
PyObject* qr_body(Args<Qr>& in) {
    auto factors = on_argument<Qr>(in, cubed, [](const NdArray& a, Watch& w) { return qr(a, &w); });
    return factors ? tuple_of(std::move(*factors)) : nullptr;
}

struct Eigen {
    std::pair<NdArray, NdArray> result;
    bool converged = false;
};

template <class Sig>
std::optional<Eigen> eigen_of(Args<Sig>& in, std::uint64_t max_iter, double tol) {
    // Each step of the iteration is a QR factorisation and two products.
    const auto steps = [&](const NdArray& a) {
        std::uint64_t work = 0;
        return __builtin_mul_overflow(cubed(a), std::max<std::uint64_t>(max_iter, 1), &work) ? UINT64_MAX : work;
    };
    return on_argument<Sig>(in, steps, [&](const NdArray& a, Watch& w) {
        Eigen e;
        e.result = eig_with_params(a, max_iter, tol, &e.converged, &w);
        return e;
    });
}

using Eig = Signature<"eig(a)">;
PyObject* eig_body(Args<Eig>& in) {
    std::optional<Eigen> e = eigen_of<Eig>(in, kEigMaxIter, kEigTol);
    return e ? warn_unless_converged(e->converged, tuple_of(std::move(e->result))) : nullptr;
}

using Eigvals = Signature<"eigvals(a)">;
PyObject* eigvals_body(Args<Eigvals>& in) {
    std::optional<Eigen> e = eigen_of<Eigvals>(in, kEigMaxIter, kEigTol);
    return e ? warn_unless_converged(e->converged, wrap_array(std::move(e->result.first))) : nullptr;
}

PyObject* eig_with_params_body(Args<EigWithParams>& in) {
    std::uint64_t max_iter = 0;
    double tol = 0.0;
    if (!arg<1>(in, max_iter) || !arg<2>(in, tol)) return nullptr;
    std::optional<Eigen> e = eigen_of<EigWithParams>(in, max_iter, tol);
    return e ? warn_unless_converged(e->converged, tuple_of(std::move(e->result))) : nullptr;
}

template <class Sig>
PyObject* product_body(Args<Sig>& in) {
    std::optional<NdArray> a, b;
    {
        ArrayArg x, y;
        if (!arg<0>(in, x) || !arg<1>(in, y)) return nullptr;
        const NdArray &p = x.value(), &q = y.value();
        std::uint64_t work = 0;
        const bool large = p.ndim() == 2 && q.ndim() == 2 &&
                           (__builtin_mul_overflow(p.shape[0] * p.shape[1], q.shape[1], &work) ||
                            work >= kWorkWithoutGil);
        if (!large) {
            Watch watch = signal_watch();
            return wrap_array(matmul(p, q, &watch));
        }
        a = x.take();
        b = y.take();
    }
    return wrap_array(without_gil([&](Watch& w) { return matmul(*a, *b, &w); }));
}

using Matmul = Signature<"matmul(a, b)">;
using Dot = Signature<"dot(a, b)">;

using Diagonal = Signature<"diagonal(a, k=None)">;
PyObject* diagonal_body(Args<Diagonal>& in) {
    ArrayArg a;
    std::optional<std::int64_t> k;
    if (!arg<0>(in, a) || !arg<1>(in, k)) return nullptr;
    return diagonal_of(a.value(), k);
}

PyMethodDef functions[] = {
    function_def<Matmul, product_body<Matmul>>(),
    function_def<Dot, product_body<Dot>>(),
    function_of_array<"transpose(a)", array_result<transpose>>(),
    function_def<Cholesky, cholesky_body>(),
    function_def<Qr, qr_body>(),
    function_def<Eig, eig_body>(),
    function_def<EigWithParams, eig_with_params_body>(),
    function_def<Eigvals, eigvals_body>(),
    function_def<Diagonal, diagonal_body>(),
    function_def<OuterSignature, outer_of>(),
};

}  // namespace

bool register_module(PyObject* module) { return add_functions(module, functions); }

}  // namespace tessaron::py::linalg
