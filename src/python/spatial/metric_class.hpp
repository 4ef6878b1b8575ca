// tessaron.spatial.Metric: a distance metric with its parameters, as an
// immutable value that every tree's from_array takes in place of a name.
#pragma once

#include "python/args.hpp"
#include "python/py.hpp"
#include "spatial/names.hpp"

namespace tessaron::py {

struct MetricValue {
    ::tessaron::spatial::MetricChoice choice;
};

bool is_metric_object(PyObject* obj);
const ::tessaron::spatial::MetricChoice& metric_choice_of(PyObject* metric_object);
// A new Metric object for the choice (nullptr with an exception on failure).
PyObject* metric_object(const ::tessaron::spatial::MetricChoice& choice);

bool add_metric_type(PyObject* module);
PyMethodDef metric_rebuild_def();

}  // namespace tessaron::py
