// Independent work items run on the calling thread and on helper threads
// that live only for the call. Items are handed out in small chunks from a
// shared counter; each item writes only its own output, so no answer
// depends on how many threads ran or which of them took which item.
#pragma once

#include <cstdint>
#include <functional>

namespace tessaron::spatial {

// The number of cores this process may run on (its CPU affinity), at least 1.
unsigned available_cores();

// How a batch runs: on `threads` threads (1: the calling thread alone), with
// `interrupted` (if set) polled on the calling thread every few
// milliseconds; when it returns true the work is abandoned.
struct Workers {
    unsigned threads = 1;
    std::function<bool()> interrupted;
};

// Calls body(begin, end) for consecutive chunks covering [0, count). Returns
// false when abandoned by the poll. A failure in a chunk stops the others
// and is rethrown on the calling thread once every helper has finished.
bool run_chunks(std::uint64_t count, const Workers& workers,
                const std::function<void(std::uint64_t, std::uint64_t)>& body);

}  // namespace tessaron::spatial
