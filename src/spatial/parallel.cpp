#include "spatial/parallel.hpp"

#include "array/error.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#if defined(__linux__)
#include <sched.h>
#endif

namespace tessaron::spatial {

unsigned available_cores() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The failure of the earliest chunk that failed, kept for the caller.
class FirstFailure {
public:
    void keep(std::uint64_t begin, std::exception_ptr e) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_ || begin < begin_) {
            error_ = std::move(e);
            begin_ = begin;
        }
    }
    void rethrow() const {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::mutex mutex_;
    std::exception_ptr error_;
    std::uint64_t begin_ = 0;
};

// Small chunks keep the threads evenly loaded and the interrupt poll timely;
// at most 16 items, and about 32 chunks per thread on short batches.
std::uint64_t chunk_size(std::uint64_t count, unsigned threads) {
    return std::clamp<std::uint64_t>(count / (std::uint64_t{threads} * 32), 1, 16);
}

}  // namespace

void run_chunks(std::uint64_t count, const Workers& workers,
                const std::function<void(std::uint64_t, std::uint64_t, Watch&)>& body) {
    const std::uint64_t chunk = chunk_size(count, std::max(1u, workers.threads));
    const std::uint64_t chunks = count / chunk + (count % chunk != 0);
    const unsigned threads = static_cast<unsigned>(std::clamp<std::uint64_t>(chunks, 1, std::max(1u, workers.threads)));
    std::atomic<std::uint64_t> next{0};
    std::atomic<bool> stop{false};
    FirstFailure failure;
    // A signal handler run by the poll may fork the process. The child has
    // this thread alone: it must neither wait for the helpers nor touch what
    // they may have held locked, and the chunks they held are lost to it.
    const pid_t process = getpid();
    bool forked = false;
    const Watch none;
    const Watch& given = workers.watch ? *workers.watch : none;
    Watch caller_watch = given.for_thread(&stop, true);
    const auto in_child = [&] { return threads > 1 && getpid() != process; };
    // On the calling thread only: an interrupt stops every thread.
    auto check = [&] {
        std::exception_ptr interrupted;
        try {
            caller_watch.check();
        } catch (const Stopped&) {
        } catch (...) {
            interrupted = std::current_exception();
        }
        if (in_child()) {
            forked = true;
            stop.store(true);
        } else if (interrupted) {
            failure.keep(0, interrupted);
            stop.store(true);
        }
    };

    auto work = [&](Watch& watch, bool caller) {
        while (!stop.load(std::memory_order_relaxed)) {
            const std::uint64_t begin = next.fetch_add(chunk, std::memory_order_relaxed);
            if (begin >= count) return;
            try {
                body(begin, std::min(count, begin + chunk), watch);
            } catch (const Stopped&) {
                return;  // the failure that stopped the batch is kept already
            } catch (const Interrupted&) {
                if (caller && in_child()) {  // a handler run by the poll forked
                    forked = true;
                    stop.store(true);
                    return;
                }
                failure.keep(0, std::current_exception());
                stop.store(true);
                return;
            } catch (...) {
                failure.keep(begin, std::current_exception());
                stop.store(true);
                return;
            }
            if (caller) check();
        }
    };

    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned i = 1; i < threads; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        try {
            helpers.emplace_back([&] {
                Watch watch = none.for_thread(&stop, false);
                work(watch, false);
                std::lock_guard<std::mutex> lock(mutex);
                --running;
                finished.notify_one();
            });
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> lock(mutex);
            --running;
            break;  // no more threads to be had: the others share the work
        }
    }
    work(caller_watch, true);
    if (!forked) {
        // The caller keeps watching while the helpers finish their chunks.
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, kPollInterval, [&] { return running == 0; })) {
            lock.unlock();
            check();
            if (forked) break;
            lock.lock();
        }
    }
    if (forked) {
        // The helpers' handles name threads of the parent: they are let go
        // unjoined (a std::thread destroyed while joinable would terminate).
        static_cast<void>(new std::vector<std::thread>(std::move(helpers)));
        throw Abandoned{"the process was forked while this batch ran on helper threads, which the child "
                        "does not have: the batch is abandoned in the child"};
    }
    for (std::thread& t : helpers) t.join();
    failure.rethrow();
}

}  // namespace tessaron::spatial
