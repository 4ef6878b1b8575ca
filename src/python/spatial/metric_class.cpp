// The Metric class: made from a name and the metric's parameters, compared
// and hashed by the metric it measures with (Metric("minkowski", p=2) is
// Metric("euclidean")), pickled as its name and parameters.
#include "python/spatial/metric_class.hpp"

#include <cmath>
#include <optional>
#include <string>

#include "python/binding.hpp"
#include "python/module_util.hpp"
#include "python/object.hpp"
#include "python/pickling.hpp"
#include "python/ref.hpp"

namespace tessaron::py {
namespace {

namespace sp = ::tessaron::spatial;

using MetricNew = Signature<"__new__(name, *, p=None, period=None)", "Metric">;
using RebuildMetric = Signature<"_rebuild_metric(name, p, period)">;

// A period: None, one real number for every dimension, or a sequence of
// them, one per dimension.
bool read_period(PyObject* obj, std::optional<sp::Period>& out) {
    if (!obj || obj == Py_None) return true;
    out.emplace();
    if (PyNumber_Check(obj) && !PySequence_Check(obj)) {
        out->for_all = true;
        out->values.resize(1);
        return extract(obj, out->values[0]) || (prefix_argument_error("period"), false);
    }
    Ref items = Ref::steal(PySequence_Fast(obj, "argument 'period': a period is a number or a sequence of numbers"));
    if (!items) return false;
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
    out->values.resize(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!extract(PySequence_Fast_GET_ITEM(items.get(), i), out->values[static_cast<std::size_t>(i)])) {
            prefix_argument_error("period");
            return false;
        }
    return true;
}

// Metric(name, p=..., period=...) and its rebuild from a pickle.
template <class Sig>
PyObject* made(Args<Sig>& in) {
    Name name;
    std::optional<double> p;
    std::optional<sp::Period> period;
    if (!arg<0>(in, name) || !arg<1>(in, p) || !read_period(in.slots[2], period)) return nullptr;
    return make_instance<MetricValue>(MetricValue{sp::choose_metric(name.lowered, name.given, p, period)});
}

PyObject* metric_vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return call_function<MetricNew, made<MetricNew>>(nullptr, args, PyVectorcall_NARGS(nargsf), kwnames);
}

PyObject* name_of(const sp::MetricChoice& c) {
    const std::string_view name = sp::family_name(c);
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

// p for the Minkowski family, None otherwise.
PyObject* p_of(const sp::MetricChoice& c) {
    const std::optional<double> p = sp::minkowski_p(c);
    if (!p) Py_RETURN_NONE;
    return PyFloat_FromDouble(*p);
}

PyObject* get_name(PyObject* self, void*) { return name_of(metric_choice_of(self)); }
PyObject* get_p(PyObject* self, void*) { return p_of(metric_choice_of(self)); }
// None, a float (one for all dimensions) or a tuple of floats.
PyObject* period_of(const sp::MetricChoice& c) {
    const sp::MetricParams& m = c.params;
    if (c.id != sp::DistanceMetric::Periodic) Py_RETURN_NONE;
    if (m.period_for_all) return PyFloat_FromDouble(m.period[0]);
    Ref out = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(m.period.size())));
    if (!out) return nullptr;
    for (std::size_t i = 0; i < m.period.size(); ++i) {
        PyObject* x = PyFloat_FromDouble(m.period[i]);
        if (!x) return nullptr;
        PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), x);
    }
    return out.release();
}

PyObject* get_period(PyObject* self, void*) { return period_of(metric_choice_of(self)); }

// "Metric('euclidean')", "Metric('minkowski', p=3.0)", "Metric('euclidean',
// period=(1.0, 1.0))": p shown where the name alone does not give it.
PyObject* repr(PyObject* self) {
    const sp::MetricChoice& c = metric_choice_of(self);
    Ref name = Ref::steal(name_of(c)), p = Ref::steal(p_of(c)), period = Ref::steal(period_of(c));
    if (!name || !p || !period) return nullptr;
    const bool shows_p = sp::family_name(c) == "minkowski";
    Ref text = Ref::steal(PyUnicode_FromFormat("Metric(%R", name.get()));
    if (text && shows_p) text = Ref::steal(PyUnicode_FromFormat("%U, p=%R", text.get(), p.get()));
    if (text && period.get() != Py_None) text = Ref::steal(PyUnicode_FromFormat("%U, period=%R", text.get(), period.get()));
    return text ? PyUnicode_FromFormat("%U)", text.get()) : nullptr;
}

PyObject* compare(PyObject* self, PyObject* other, int op) {
    if (!is_metric_object(other) || (op != Py_EQ && op != Py_NE)) Py_RETURN_NOTIMPLEMENTED;
    const bool same = metric_choice_of(self) == metric_choice_of(other);
    return PyBool_FromLong(same == (op == Py_EQ));
}

// The hash of (name, p, period), so equal metrics hash alike.
Py_hash_t hash(PyObject* self) {
    const sp::MetricChoice& c = metric_choice_of(self);
    Ref parts = Ref::steal(Py_BuildValue("(NNN)", name_of(c), p_of(c), period_of(c)));
    return parts ? PyObject_Hash(parts.get()) : -1;
}

using Reduce = Signature<"__reduce__($self)", "Metric">;
PyObject* reduce(PyObject* self, Args<Reduce>&) {
    const sp::MetricChoice& c = metric_choice_of(self);
    Ref fn = Ref::steal(rebuild_function("_rebuild_metric"));
    if (!fn) return nullptr;
    // The Minkowski family's names other than "minkowski" carry no p.
    PyObject* p = sp::family_name(c) == "minkowski" ? p_of(c) : Py_NewRef(Py_None);
    return Py_BuildValue("O(NNN)", fn.get(), name_of(c), p, period_of(c));
}

PyMethodDef methods[] = {
    method_def<Reduce, reduce>(),
    kEndOfTable,
};

PyGetSetDef getset[] = {
    {"name", get_name, nullptr, "The metric's name.", nullptr},
    {"p", get_p, nullptr, "The power of the Minkowski family (2.0 for 'euclidean'), None for others.", nullptr},
    {"period", get_period, nullptr, "The period of each dimension, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Metric(name, *, p=None, period=None)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(new_through_vectorcall)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<MetricValue>)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare)},
    {Py_tp_hash, reinterpret_cast<void*>(hash)},
    {0, nullptr},
};

PyType_Spec spec = {
    .name = "tessaron.spatial.Metric",
    .basicsize = sizeof(Instance<MetricValue>),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = slots,
};

}  // namespace

template <>
PyTypeObject* type_of<MetricValue>() {
    static PyTypeObject* type = nullptr;
    return create_once(type, spec, metric_vectorcall);
}

bool is_metric_object(PyObject* obj) {
    PyTypeObject* type = type_of<MetricValue>();
    return type && Py_IS_TYPE(obj, type);
}

const ::tessaron::spatial::MetricChoice& metric_choice_of(PyObject* metric_object) {
    return value_of<MetricValue>(metric_object).choice;
}

PyObject* metric_object(const ::tessaron::spatial::MetricChoice& choice) {
    return make_instance<MetricValue>(MetricValue{choice});
}

bool add_metric_type(PyObject* module) {
    PyTypeObject* type = type_of<MetricValue>();
    return type && PyModule_AddObjectRef(module, "Metric", reinterpret_cast<PyObject*>(type)) == 0;
}

PyMethodDef metric_rebuild_def() { return function_def<RebuildMetric, made<RebuildMetric>>(); }

}  // namespace tessaron::py
