#include "python/pickling.hpp"

#include <cstring>
#include <string>

#include "python/array/array_method.hpp"
#include "random/generator.hpp"
#include "spatial/ball_tree.hpp"
#include "spatial/kd_tree.hpp"
#include "spatial/vp_tree.hpp"

namespace tessaron::py {

namespace sp = ::tessaron::spatial;

// ---- Array: (shape, the elements as little-endian bytes), bit for bit -------

namespace {

static_assert(std::endian::native == std::endian::little, "the byte layout assumes little-endian doubles");

using Reduce = ArrayMethod<"__reduce__($self)">;
using RebuildArray = Signature<"_rebuild_array(shape, data)">;

PyObject* rebuild_function(const char* name);

PyObject* reduce_array(const NdArray& a) {
    Ref fn = Ref::steal(rebuild_function("_rebuild_array"));
    Ref shape = Ref::steal(PyList_New(static_cast<Py_ssize_t>(a.ndim())));
    if (!fn || !shape) return nullptr;
    for (std::size_t i = 0; i < a.ndim(); ++i) {
        PyObject* d = PyLong_FromUnsignedLongLong(a.shape[i]);
        if (!d) return nullptr;
        PyList_SET_ITEM(shape.get(), static_cast<Py_ssize_t>(i), d);
    }
    Ref data = Ref::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(a.data.data()),
                                                    static_cast<Py_ssize_t>(a.size() * sizeof(double))));
    if (!data) return nullptr;
    return Py_BuildValue("O(OO)", fn.get(), shape.get(), data.get());
}

bool bytes_of(PyObject* obj, const char* what, std::string_view& out) {
    if (!PyBytes_Check(obj)) {
        raise_value_error(std::string("Invalid pickled ") + what + " state: the data is not bytes");
        return false;
    }
    out = {PyBytes_AS_STRING(obj), static_cast<std::size_t>(PyBytes_GET_SIZE(obj))};
    return true;
}

PyObject* rebuild_array(Args<RebuildArray>& in) {
    Dims dims;
    std::string_view data;
    if (!arg<0>(in, dims) || !bytes_of(in.slots[1], "Array", data)) return nullptr;
    NdArray out = NdArray::uninit(Shape{std::move(dims)});  // checks the count first
    if (data.size() != out.size() * sizeof(double)) {
        raise_value_error("Invalid pickled Array state: the data does not fit the shape");
        return nullptr;
    }
    if (!data.empty()) std::memcpy(out.data.data(), data.data(), data.size());
    return wrap_array(std::move(out));
}

// ---- Generator: its four state words --------------------------------------

using RebuildGenerator = Signature<"_rebuild_generator(s0, s1, s2, s3)">;

PyObject* reduce_generator(PyObject* self, Args<Signature<"__reduce__($self)", "Generator">>&) {
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

// ---- trees: their built state as bytes --------------------------------------

template <class Tree>
constexpr const char* tree_name() {
    if constexpr (std::is_same_v<Tree, sp::KDTree>) return "KDTree";
    else if constexpr (std::is_same_v<Tree, sp::BallTree>) return "BallTree";
    else return "VPTree";
}

template <class Tree>
PyObject* reduce_tree(PyObject* self, Args<Signature<"__reduce__($self)">>&) {
    ReadLoan loan;
    if (!loan.acquire(reinterpret_cast<Instance<Tree>*>(self)->loan)) return nullptr;
    const std::vector<std::uint8_t> state = value_of<Tree>(self).state();
    Ref fn = Ref::steal(rebuild_function("_rebuild_tree"));
    if (!fn) return nullptr;
    Ref bytes = Ref::steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(state.data()),
                                                     static_cast<Py_ssize_t>(state.size())));
    if (!bytes) return nullptr;
    return Py_BuildValue("O(sO)", fn.get(), tree_name<Tree>(), bytes.get());
}

using RebuildTree = Signature<"_rebuild_tree(kind, state)">;

PyObject* rebuild_tree(Args<RebuildTree>& in) {
    Name kind;
    std::string_view data;
    if (!arg<0>(in, kind) || !bytes_of(in.slots[1], "tree", data)) return nullptr;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    if (kind.given == "KDTree") return make_instance<sp::KDTree>(sp::KDTree::from_state(bytes));
    if (kind.given == "BallTree") return make_instance<sp::BallTree>(sp::BallTree::from_state(bytes));
    if (kind.given == "VPTree") return make_instance<sp::VPTree>(sp::VPTree::from_state(bytes));
    raise_value_error("Invalid pickled tree state: unknown kind of tree");
    return nullptr;
}

PyMethodDef rebuild_defs[] = {
    function_def<RebuildArray, rebuild_array>(),
    function_def<RebuildGenerator, rebuild_generator>(),
    function_def<RebuildTree, rebuild_tree>(),
};

// The module's rebuild function by name (a new reference).
PyObject* rebuild_function(const char* name) {
    Ref module = Ref::steal(PyImport_ImportModule("tessaron"));
    return module ? PyObject_GetAttrString(module.get(), name) : nullptr;
}

}  // namespace

PyMethodDef array_reduce_def() { return array_method_def<Reduce, reduce_array>(); }

PyMethodDef generator_reduce_def() {
    return method_def<Signature<"__reduce__($self)", "Generator">, reduce_generator>();
}

template <class Tree>
PyMethodDef tree_reduce_def() {
    return method_def<Signature<"__reduce__($self)">, reduce_tree<Tree>>();
}
template PyMethodDef tree_reduce_def<sp::KDTree>();
template PyMethodDef tree_reduce_def<sp::BallTree>();
template PyMethodDef tree_reduce_def<sp::VPTree>();

std::span<PyMethodDef> rebuild_functions() { return rebuild_defs; }

}  // namespace tessaron::py
