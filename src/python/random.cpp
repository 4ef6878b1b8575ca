// The tessaron.random submodule: the Generator class and the seed and new
// factories. Each sampling method holds the generator for writing for the
// whole call; the core checks parameters before its first draw, so a failed
// call leaves the generator's state as it was.
#include "python/array/array_object.hpp"
#include "python/binding.hpp"
#include "python/module_util.hpp"
#include "python/object.hpp"
#include "python/pickling.hpp"
#include "random/generator.hpp"

namespace tessaron::py {
namespace {

// Generator() and new(): seeded from the clock.
template <class Sig>
PyObject* from_clock(Args<Sig>&) {
    return make_instance<Generator>(Generator::from_clock());
}

using GeneratorNew = Signature<"__new__()", "Generator">;
PyObject* generator_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf,
                               PyObject* kwnames) {
    return call_function<GeneratorNew, from_clock<GeneratorNew>>(nullptr, args,
                                                                 PyVectorcall_NARGS(nargsf), kwnames);
}

using Seed = Signature<"seed(seed)">;
using FromSeed = Signature<"from_seed(seed)", "Generator">;

// seed(seed) and Generator.from_seed(seed).
template <class Sig>
PyObject* seeded(Args<Sig>& in) {
    std::uint64_t seed = 0;
    if (!arg<0>(in, seed)) return nullptr;
    return make_instance<Generator>(Generator::from_seed(seed));
}
using New = Signature<"new()">;


// A sampling method: parameters of type P (two, or none) and a shape. The
// generator is taken for writing before the arguments are converted.
template <class Sig, class P, auto Draw>
PyObject* sample(PyObject* self, Args<Sig>& in) {
    WriteLoan loan;
    if (!loan.acquire(reinterpret_cast<Instance<Generator>*>(self)->loan)) return nullptr;
    Generator& g = value_of<Generator>(self);
    Dims shape;
    if constexpr (Sig::size == 1) {
        if (!arg<0>(in, shape)) return nullptr;
        return wrap_array(Draw(g, P{}, P{}, Shape{std::move(shape)}));
    } else {
        P a{}, b{};
        if (!arg<0>(in, a) || !arg<1>(in, b) || !arg<2>(in, shape)) return nullptr;
        return wrap_array(Draw(g, a, b, Shape{std::move(shape)}));
    }
}

template <Literal Decl, class P, auto Draw>
PyMethodDef sampler() {
    using Sig = Signature<Decl, "Generator">;
    return method_def<Sig, sample<Sig, P, Draw>>();
}

NdArray draw_uniform(Generator& g, double a, double b, const Shape& s) { return g.uniform(a, b, s); }
NdArray draw_standard_normal(Generator& g, double, double, const Shape& s) {
    return g.standard_normal(s);
}
NdArray draw_normal(Generator& g, double a, double b, const Shape& s) { return g.normal(a, b, s); }
NdArray draw_randint(Generator& g, std::int64_t a, std::int64_t b, const Shape& s) {
    return g.randint(a, b, s);
}
NdArray draw_gamma(Generator& g, double a, double b, const Shape& s) { return g.gamma(a, b, s); }
NdArray draw_beta(Generator& g, double a, double b, const Shape& s) { return g.beta(a, b, s); }
NdArray draw_lognormal(Generator& g, double a, double b, const Shape& s) {
    return g.lognormal(a, b, s);
}

// Pickling: the four state words; an all-zero state is refused on rebuild.
using RebuildGenerator = Signature<"_rebuild_generator(s0, s1, s2, s3)">;
using Reduce = Signature<"__reduce__($self)", "Generator">;

PyObject* reduce_generator(PyObject* self, Args<Reduce>&) {
    ReadLoan loan;
    if (!loan.acquire(reinterpret_cast<Instance<Generator>*>(self)->loan)) return nullptr;
    const auto& s = value_of<Generator>(self).state();
    Ref fn = Ref::steal(rebuild_function("_rebuild_generator"));
    if (!fn) return nullptr;
    return Py_BuildValue("O(KKKK)", fn.get(), static_cast<unsigned long long>(s[0]),
                         static_cast<unsigned long long>(s[1]), static_cast<unsigned long long>(s[2]),
                         static_cast<unsigned long long>(s[3]));
}

PyObject* rebuild_generator(Args<RebuildGenerator>& in) {
    std::array<std::uint64_t, 4> s{};
    if (!arg<0>(in, s[0]) || !arg<1>(in, s[1]) || !arg<2>(in, s[2]) || !arg<3>(in, s[3])) return nullptr;
    return make_instance<Generator>(Generator::from_state(s));
}

PyMethodDef generator_methods[] = {
    static_def<FromSeed, seeded<FromSeed>>(),
    method_def<Reduce, reduce_generator>(),
    sampler<"uniform($self, low, high, shape)", double, draw_uniform>(),
    sampler<"standard_normal($self, shape)", double, draw_standard_normal>(),
    sampler<"normal($self, mu, sigma, shape)", double, draw_normal>(),
    sampler<"randint($self, low, high, shape)", std::int64_t, draw_randint>(),
    sampler<"gamma($self, shape_param, scale, shape)", double, draw_gamma>(),
    sampler<"beta($self, alpha, beta_param, shape)", double, draw_beta>(),
    sampler<"lognormal($self, mu, sigma, shape)", double, draw_lognormal>(),
    kEndOfTable,
};

PyType_Slot generator_slots[] = {
    {Py_tp_doc, const_cast<char*>("Generator()\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(new_through_vectorcall)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Generator>)},
    {Py_tp_methods, generator_methods},
    {0, nullptr},
};

PyType_Spec generator_spec = {
    .name = "tessaron.Generator",
    .basicsize = sizeof(Instance<Generator>),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = generator_slots,
};

PyMethodDef module_functions[] = {
    function_def<Seed, seeded<Seed>>(),
    function_def<New, from_clock<New>>(),
};

}  // namespace

template <>
PyTypeObject* type_of<Generator>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, generator_spec, generator_vectorcall);
}

PyMethodDef generator_rebuild_def() { return function_def<RebuildGenerator, rebuild_generator>(); }

namespace random {

bool register_module(PyObject* module) {
    return add_type(module, type_of<Generator>(), "Generator") &&
           add_functions(module, module_functions);
}

}  // namespace random
}  // namespace tessaron::py
