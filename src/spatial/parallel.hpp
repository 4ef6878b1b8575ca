// Long work that the caller can abandon, and independent work items run on
// the calling thread and on helper threads that live only for the call.
// Items are handed out in small chunks from a shared counter; each item
// writes only its own output, so no answer depends on how many threads ran
// or which of them took which item.
#pragma once

#include <cstdint>
#include <functional>

#include "array/watch.hpp"

namespace tessaron::spatial {

using ::tessaron::Watch;  // the core's look-out, as the spatial code and its callers name it

// The number of cores this process may run on (its CPU affinity), at least 1.
unsigned available_cores();

// How a batch runs: on `threads` threads (1: the calling thread alone),
// the calling thread checking `watch` (if any) between its chunks.
struct Workers {
    unsigned threads = 1;
    Watch* watch = nullptr;
};

// Calls body(begin, end, watch) for consecutive chunks covering [0, count),
// with the watch of the thread that runs the chunk (whose ticks let the
// chunk be abandoned early). A failure in a chunk, or an interrupt, stops
// the others and is rethrown on the calling thread once every helper has
// finished.
void run_chunks(std::uint64_t count, const Workers& workers,
                const std::function<void(std::uint64_t, std::uint64_t, Watch&)>& body);

}  // namespace tessaron::spatial
