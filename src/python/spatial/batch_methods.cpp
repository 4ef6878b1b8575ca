#include "python/spatial/batch_methods.hpp"

namespace tessaron::py {

bool worker_threads(std::int64_t workers, sp::Workers& out) {
    // Past a few hundred threads nothing is gained: more only cost memory.
    constexpr std::int64_t kMostThreads = 256;
    if (workers == -1) {
        out.threads = sp::available_cores();
    } else if (workers >= 1) {
        out.threads = static_cast<unsigned>(std::min(workers, kMostThreads));
    } else {
        raise_value_error("workers must be a positive integer or -1");
        return false;
    }
    return true;
}

}  // namespace tessaron::py
