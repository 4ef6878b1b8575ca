// Long work that the caller can abandon, and independent work items run on
// the calling thread and on helper threads that live only for the call.
// Items are handed out in small chunks from a shared counter; each item
// writes only its own output, so no answer depends on how many threads ran
// or which of them took which item.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tessaron::spatial {

// The number of cores this process may run on (its CPU affinity), at least 1.
unsigned available_cores();

// Stops a batch's other threads: thrown by their watches once the batch is
// over (a failure or an interrupt elsewhere); run_chunks catches it.
struct Stopped {};

// The look-out of long work. tick(units) counts the work done, in units of
// about one coordinate read; every kTickUnits of them (a fraction of a
// millisecond) the watch looks: it throws Stopped once the batch it serves
// is over, and asks its poll, at most every 20 ms, whether to give up,
// throwing Interrupted when it answers true. check() looks at once. A default
// Watch never stops.
class Watch {
public:
    static constexpr std::int64_t kTickUnits = std::int64_t{1} << 18;

    // The poll: poll(context) answers whether to give up.
    using Poll = bool (*)(void*);

    Watch() = default;
    Watch(Poll poll, void* context) : poll_(poll), context_(context) {}
    // The watch of one thread of a batch, which `stop` ends; only the calling
    // thread (`caller`) keeps this watch's poll.
    Watch for_thread(const std::atomic<bool>* stop, bool caller) const;

    [[gnu::always_inline]] void tick(std::uint64_t units) {
        left_ -= static_cast<std::int64_t>(units);
        if (left_ < 0) [[unlikely]]
            check();
    }
    void check();

private:
    Poll poll_ = nullptr;
    void* context_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    std::int64_t left_ = kTickUnits;
    std::chrono::steady_clock::time_point last_{};  // the first look polls
};

// Runs body(from, to) over consecutive blocks [from, to) of [first, last),
// each of about kTickUnits / units_per_item items, ticking the watch (if
// any) after each: a long loop made watchable without a check per item.
template <class Body>
[[gnu::always_inline]] inline void in_watched_blocks(std::uint64_t first, std::uint64_t last,
                                                     std::uint64_t units_per_item, Watch* watch, Body&& body) {
    const std::uint64_t block =
        std::max<std::uint64_t>(std::uint64_t{Watch::kTickUnits} / std::max<std::uint64_t>(units_per_item, 1), 1);
    for (std::uint64_t from = first; from < last;) {
        const std::uint64_t to = last - from > block ? from + block : last;
        body(from, to);
        if (watch) watch->tick((to - from) * units_per_item);
        from = to;
    }
}

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
