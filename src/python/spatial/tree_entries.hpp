// The tree classes, one entry each: the names Python sees, whether the class
// is also on the top-level module, its from_array signature and how that
// call's build options are read. `Trees` lists them in registration order;
// it drives type creation, registration and rebuilding from a pickle.
#pragma once

#include <optional>
#include <tuple>
#include <type_traits>

#include "python/array/array_args.hpp"
#include "python/buffer_reals.hpp"
#include "python/gil.hpp"
#include "python/spatial/metric_class.hpp"
#include "spatial/ball_tree.hpp"
#include "spatial/kd_tree.hpp"
#include "spatial/names.hpp"
#include "spatial/vp_tree.hpp"

namespace tessaron::py {

namespace sp = ::tessaron::spatial;

// The arguments every tree's from_array starts with: (array, leaf_size,
// metric), converted in that order. The points are copied while the GIL is
// held (Ctrl-C still stops a long copy) and the array is then let go: the
// build runs without the GIL on memory no Python code can reach, and other
// threads may write to the array meanwhile.
// A buffer of real numbers (a NumPy array, say) is read straight into the
// tree's points: one copy.
struct BuildArgs {
    ArrayArg array;
    HeldBuffer buffer;
    bool from_buffer = false;
    DefaultIfNone<std::uint64_t> leaf_size;
    DefaultIfNone<Name> metric;
    std::optional<sp::MetricChoice> object_choice;  // when a Metric named it

    template <class Base>
    bool read(const Slots<Base>& in) {
        PyObject* source = in.slots[0];
        from_buffer = !is_array(source) && may_export_numbers(source) && buffer.acquire(source) &&
                      holds_reals(*buffer);
        PyErr_Clear();
        if (!(from_buffer || arg<0>(in, array)) || !arg<1>(in, leaf_size)) return false;
        if (in.slots[2] && is_metric_object(in.slots[2])) {
            object_choice = metric_choice_of(in.slots[2]);
            return true;
        }
        return arg<2>(in, metric);
    }
    std::uint64_t leaf() const { return leaf_size.value; }
    sp::MetricChoice parsed_metric() const {
        if (object_choice) return *object_choice;
        return {sp::parse_metric(metric.value.lowered, metric.value.given), {}};
    }
    // The points under metric m, for a tree that bounds by boxes or not; a
    // metric that does not suit them fails before they are copied.
    sp::PointSet points(const sp::MetricChoice& m, bool box_tree) const {
        if (from_buffer ? buffer->ndim == 2 : array.value().ndim() == 2) {
            const std::uint64_t dim =
                from_buffer ? static_cast<std::uint64_t>(buffer->shape[1]) : array.value().shape[1];
            sp::check_metric_fits(m.id, m.params, dim, box_tree);
        }
        sp::PointSet p = copied_points(m.id);
        p.params = m.params;
        p.metric_as_object = object_choice.has_value();
        return p;
    }

private:
    sp::PointSet copied_points(sp::DistanceMetric metric) const {
        sp::Watch watch = signal_watch();
        if (!from_buffer) return sp::PointSet::from_ndarray(array.value(), metric, &watch);
        if (buffer->ndim != 2) panic("Expected 2D array (n_points, dim)");
        const auto n = static_cast<std::uint64_t>(buffer->shape[0]), dim = static_cast<std::uint64_t>(buffer->shape[1]);
        std::uint64_t size = 0;
        if (!mul_fits(n, dim, size)) throw std::bad_alloc();  // a broadcast view larger than memory
        std::vector<double> coords;
        sp::reserve_on_huge_pages(coords, size);
        coords.resize(size);
        read_reals(*buffer, coords.data());
        return sp::PointSet::from_coords(std::move(coords), n, dim, metric, &watch);
    }
};

template <class Tree>
struct TreeEntry;

// A tree built from (array, leaf_size, metric) alone.
template <class Tree, Literal Name, Literal Qualified>
struct PlainTreeEntry {
    static constexpr Literal name = Name;
    static constexpr const char* qualified = Qualified.chars;
    static constexpr bool top_level = true;
    using FromArray = Signature<R"(from_array(array, leaf_size=20, metric="euclidean"))", name>;
    static std::optional<Tree> build(Args<FromArray>& in) {
        std::optional<sp::PointSet> points;
        std::uint64_t leaf = 0;
        {
            BuildArgs b;
            if (!b.read(in)) return std::nullopt;
            points = b.points(b.parsed_metric(), std::is_same_v<Tree, sp::KDTree>);
            leaf = b.leaf();
        }
        return without_gil([&](sp::Watch& w) { return Tree::from_points(std::move(*points), leaf, &w); });
    }
};

template <>
struct TreeEntry<sp::BallTree> : PlainTreeEntry<sp::BallTree, "BallTree", "tessaron.BallTree"> {};
template <>
struct TreeEntry<sp::KDTree> : PlainTreeEntry<sp::KDTree, "KDTree", "tessaron.KDTree"> {};

template <>
struct TreeEntry<sp::VPTree> {
    static constexpr Literal name = "VPTree";
    static constexpr const char* qualified = "tessaron.spatial.VPTree";  // where it lives: not on tessaron
    static constexpr bool top_level = false;
    using FromArray =
        Signature<R"(from_array(array, leaf_size=20, metric="euclidean", selection="first"))", name>;
    static std::optional<sp::VPTree> build(Args<FromArray>& in) {
        std::optional<sp::PointSet> points;
        std::uint64_t leaf = 0;
        sp::VantageSelection v{};
        {
            BuildArgs b;
            DefaultIfNone<Name> selection;
            if (!b.read(in) || !arg<3>(in, selection)) return std::nullopt;
            const auto m = b.parsed_metric();
            v = sp::parse_selection(selection.value.lowered, selection.value.given);
            points = b.points(m, false);
            leaf = b.leaf();
        }
        return without_gil([&](sp::Watch& w) { return sp::VPTree::from_points(std::move(*points), leaf, v, &w); });
    }
};

using Trees = std::tuple<sp::BallTree, sp::KDTree, sp::VPTree>;

// f.template operator()<Tree>() for each tree in order, while it returns true.
template <class F>
bool for_each_tree(F&& f) {
    return [&]<class... T>(std::type_identity<std::tuple<T...>>) {
        return (f.template operator()<T>() && ...);
    }(std::type_identity<Trees>{});
}

}  // namespace tessaron::py
