// The Generator class object, shared by tessaron and tessaron.random.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

PyTypeObject* generator_type();

}  // namespace tessaron::py
