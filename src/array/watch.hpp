// The look-out of long work that the caller can abandon (Ctrl-C): core
// loops tick it as they go, and it asks the caller's poll now and then.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace tessaron {

// Stops a batch's other threads: thrown by their watches once the batch is
// over (a failure or an interrupt elsewhere); the batch runner catches it.
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

}  // namespace tessaron
