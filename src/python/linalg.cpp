// The tessaron.linalg submodule: products, views and decompositions.
#include "array/linalg.hpp"
#include "python/array/array_functions.hpp"
#include "python/module_util.hpp"

namespace tessaron::py::linalg {
namespace {

using EigWithParams = Signature<"eig_with_params(a, max_iter=1000, tol=1e-10)">;
// eig(a) is eig_with_params(a) with these defaults.
static_assert(EigWithParams::default_of<1>.integer == kEigMaxIter && EigWithParams::default_of<2>.number == kEigTol);

PyObject* qr_result(const NdArray& a) { return tuple_of(qr(a)); }

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

PyObject* eig_result(const NdArray& a) {
    bool converged = false;
    auto out = eig(a, &converged);
    return warn_unless_converged(converged, tuple_of(std::move(out)));
}

PyObject* eigvals_result(const NdArray& a) {
    bool converged = false;
    NdArray values = eigvals(a, &converged);
    return warn_unless_converged(converged, wrap_array(std::move(values)));
}

PyObject* eig_with_params_body(Args<EigWithParams>& in) {
    ArrayArg a;
    std::uint64_t max_iter = 0;
    double tol = 0.0;
    if (!arg<0>(in, a) || !arg<1>(in, max_iter) || !arg<2>(in, tol)) return nullptr;
    bool converged = false;
    auto out = eig_with_params(a.value(), max_iter, tol, &converged);
    return warn_unless_converged(converged, tuple_of(std::move(out)));
}

using Diagonal = Signature<"diagonal(a, k=None)">;
PyObject* diagonal_body(Args<Diagonal>& in) {
    ArrayArg a;
    std::optional<std::int64_t> k;
    if (!arg<0>(in, a) || !arg<1>(in, k)) return nullptr;
    return diagonal_of(a.value(), k);
}

PyMethodDef functions[] = {
    function_of_pair<"matmul(a, b)", array_result<matmul>>(),
    function_of_pair<"dot(a, b)", array_result<matmul>>(),
    function_of_array<"transpose(a)", array_result<transpose>>(),
    function_of_array<"cholesky(a)", array_result<cholesky>>(),
    function_of_array<"qr(a)", qr_result>(),
    function_of_array<"eig(a)", eig_result>(),
    function_def<EigWithParams, eig_with_params_body>(),
    function_of_array<"eigvals(a)", eigvals_result>(),
    function_def<Diagonal, diagonal_body>(),
    function_def<OuterSignature, outer_of>(),
};

}  // namespace

bool register_module(PyObject* module) { return add_functions(module, functions); }

}  // namespace tessaron::py::linalg
