// Pickling an Array: its shape and its elements as little-endian bytes, so
// that signed zeros and NaN payloads survive bit for bit.
#include <bit>
#include <cstring>

#include "python/array/array_method.hpp"
#include "python/int_list.hpp"
#include "python/pickling.hpp"

namespace tessaron::py {
namespace {

static_assert(std::endian::native == std::endian::little, "the byte layout assumes little-endian doubles");

using Reduce = ArrayMethod<"__reduce__($self)">;
using RebuildArray = Signature<"_rebuild_array(shape, data)">;

PyObject* reduce_array(const NdArray& a) {
    Ref fn = Ref::steal(rebuild_function("_rebuild_array"));
    Ref shape = Ref::steal(int_list(a.shape.dims));
    if (!fn || !shape) return nullptr;
    Ref data = Ref::steal(bytes_from(a.data.data(), a.size() * sizeof(double)));
    if (!data) return nullptr;
    return Py_BuildValue("O(OO)", fn.get(), shape.get(), data.get());
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

const PyMethodDef defs[] = {
    array_method_def<Reduce, reduce_array>(),
};

}  // namespace

ClassPart pickle_part() { return {defs, {}}; }

PyMethodDef array_rebuild_def() { return function_def<RebuildArray, rebuild_array>(); }

}  // namespace tessaron::py
