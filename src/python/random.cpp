// The tessaron.random submodule: the Generator class and the seed and new
// factories. Each sampling method holds the generator for writing for the
// whole call; the core checks parameters before its first draw, so a failed
// call leaves the generator's state as it was.
#include <new>

#include "python/args.hpp"
#include "python/errors.hpp"
#include "python/object.hpp"
#include "python/module_util.hpp"
#include "python/random_type.hpp"
#include "random/generator.hpp"

namespace tessaron::py {
namespace {

struct PyGenerator {
    PyObject_HEAD
    Generator value;
    LoanFlag loan;
};

PyObject* wrap_generator(const Generator& g) {
    PyTypeObject* type = generator_type();
    if (!type) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (!obj) return nullptr;
    auto* p = reinterpret_cast<PyGenerator*>(obj);
    new (&p->value) Generator(g);
    new (&p->loan) LoanFlag();
    return obj;
}


PyObject* generator_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> PyObject* {
        if (!parse_args_tuple({"Generator.__new__()", {}, 0}, args, kwargs, nullptr)) return nullptr;
        return wrap_generator(Generator::from_clock());
    });
}

PyObject* seeded(const char* name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* o[1];
        std::uint64_t seed = 0;
        if (!parse_args({name, {"seed"}, 1}, args, nargs, kwnames, o) || !arg(o[0], "seed", seed))
            return nullptr;
        return wrap_generator(Generator::from_seed(seed));
    });
}

PyObject* from_seed(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return seeded("Generator.from_seed()", args, nargs, kwnames);
}
PyObject* seed_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return seeded("seed()", args, nargs, kwnames);
}
PyObject* new_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        if (!parse_args({"new()", {}, 0}, args, nargs, kwnames, nullptr)) return nullptr;
        return wrap_generator(Generator::from_clock());
    });
}

// A sampling method with two leading parameters of type P and a shape:
// bind, take the generator for writing, convert in order, draw.
template <class P, class Draw>
PyObject* sample2(PyObject* self, const char* name, const char* p1, const char* p2,
                  PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Draw&& draw) {
    return guard([&]() -> PyObject* {
        PyObject* o[3];
        if (!parse_args({name, {p1, p2, "shape"}, 3}, args, nargs, kwnames, o)) return nullptr;
        auto* g = reinterpret_cast<PyGenerator*>(self);
        WriteLoan loan;
        if (!loan.acquire(g->loan)) return nullptr;
        P a{}, b{};
        Dims shape;
        if (!arg(o[0], p1, a) || !arg(o[1], p2, b) || !arg(o[2], "shape", shape)) return nullptr;
        return wrap_array(draw(g->value, a, b, Shape{std::move(shape)}));
    });
}

#define TESSARON_SAMPLER(method, type, p1, p2, call)                                          \
    PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,                \
                     PyObject* kwnames) {                                                     \
        return sample2<type>(self, "Generator." #method "()", p1, p2, args, nargs, kwnames,  \
                             [](Generator& g, type a, type b, const Shape& s) { return call; }); \
    }
TESSARON_SAMPLER(uniform, double, "low", "high", g.uniform(a, b, s))
TESSARON_SAMPLER(normal, double, "mu", "sigma", g.normal(a, b, s))
TESSARON_SAMPLER(lognormal, double, "mu", "sigma", g.lognormal(a, b, s))
TESSARON_SAMPLER(gamma, double, "shape_param", "scale", g.gamma(a, b, s))
TESSARON_SAMPLER(beta, double, "alpha", "beta_param", g.beta(a, b, s))
TESSARON_SAMPLER(randint, std::int64_t, "low", "high", g.randint(a, b, s))
#undef TESSARON_SAMPLER

PyObject* standard_normal(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    return guard([&]() -> PyObject* {
        PyObject* o[1];
        if (!parse_args({"Generator.standard_normal()", {"shape"}, 1}, args, nargs, kwnames, o))
            return nullptr;
        auto* g = reinterpret_cast<PyGenerator*>(self);
        WriteLoan loan;
        Dims shape;
        if (!loan.acquire(g->loan) || !arg(o[0], "shape", shape)) return nullptr;
        return wrap_array(g->value.standard_normal(Shape{std::move(shape)}));
    });
}

PyMethodDef generator_methods[] = {
    {"from_seed", TESSARON_FAST(from_seed), kFastFlags | METH_STATIC, "from_seed(seed)\n--\n\n"},
    {"uniform", TESSARON_FAST(uniform), kFastFlags, "uniform($self, low, high, shape)\n--\n\n"},
    {"standard_normal", TESSARON_FAST(standard_normal), kFastFlags,
     "standard_normal($self, shape)\n--\n\n"},
    {"normal", TESSARON_FAST(normal), kFastFlags, "normal($self, mu, sigma, shape)\n--\n\n"},
    {"randint", TESSARON_FAST(randint), kFastFlags, "randint($self, low, high, shape)\n--\n\n"},
    {"gamma", TESSARON_FAST(gamma), kFastFlags,
     "gamma($self, shape_param, scale, shape)\n--\n\n"},
    {"beta", TESSARON_FAST(beta), kFastFlags, "beta($self, alpha, beta_param, shape)\n--\n\n"},
    {"lognormal", TESSARON_FAST(lognormal), kFastFlags,
     "lognormal($self, mu, sigma, shape)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot generator_slots[] = {
    {Py_tp_doc, const_cast<char*>("Generator()\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(generator_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<PyGenerator>)},
    {Py_tp_methods, generator_methods},
    {0, nullptr},
};

PyType_Spec generator_spec = {
    "tessaron.Generator", sizeof(PyGenerator), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    generator_slots,
};

PyMethodDef module_functions[] = {
    {"seed", TESSARON_FAST(seed_function), kFastFlags, "seed(seed)\n--\n\n"},
    {"new", TESSARON_FAST(new_function), kFastFlags, "new()\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* generator_type() {
    static PyTypeObject* type = nullptr;
    if (!type) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&generator_spec));
    return type;
}

namespace random {

bool register_module(PyObject* module) {
    if (!add_type(module, generator_type(), "Generator")) return false;
    for (PyMethodDef* def = module_functions; def->ml_name; ++def)
        if (!add_function(module, def)) return false;
    return true;
}

}  // namespace random
}  // namespace tessaron::py
