// Long work that the caller can abandon, and independent work items run on
// the calling thread and on helper threads that live only for the call.
// Items are handed out in small chunks from a shared counter; each item
// writes only its own output, so no answer depends on how many threads ran
// or which of them took which item.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace tessaron::spatial {

// The number of cores this process may run on (its CPU affinity), at least 1.
unsigned available_cores();

// A poll for long work on the calling thread: check() asks it at most every
// 20 ms and throws Interrupted when it answers true. A default Watch never
// interrupts.
class Watch {
public:
    Watch() = default;
    explicit Watch(std::function<bool()> poll) : poll_(std::move(poll)) {}
    void check();

private:
    std::function<bool()> poll_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// How a batch runs: on `threads` threads (1: the calling thread alone),
// the calling thread checking `watch` (if any) between its chunks.
struct Workers {
    unsigned threads = 1;
    Watch* watch = nullptr;
};

// Calls body(begin, end) for consecutive chunks covering [0, count). A
// failure in a chunk, or an interrupt, stops the others and is rethrown on
// the calling thread once every helper has finished.
void run_chunks(std::uint64_t count, const Workers& workers,
                const std::function<void(std::uint64_t, std::uint64_t)>& body);

}  // namespace tessaron::spatial
