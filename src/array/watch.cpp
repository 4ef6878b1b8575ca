#include "array/watch.hpp"

#include "array/error.hpp"

namespace tessaron {

namespace {
constexpr auto kPollInterval = std::chrono::milliseconds(20);
}  // namespace

Watch Watch::for_thread(const std::atomic<bool>* stop, bool caller) const {
    Watch w;
    if (caller) {
        w.poll_ = poll_;
        w.context_ = context_;
    }
    w.stop_ = stop;
    return w;
}

void Watch::check() {
    left_ = kTickUnits;
    if (stop_ && stop_->load(std::memory_order_relaxed)) throw Stopped{};
    if (!poll_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kPollInterval) return;
    last_ = now;
    if (poll_(context_)) throw Interrupted{};
}

}  // namespace tessaron
