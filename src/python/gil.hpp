// Giving up the GIL around work on data no Python code can reach (a built
// tree, private copies of the input, outputs not yet handed out).
#pragma once

#include <cxxabi.h>
#include <unistd.h>

#include "python/py.hpp"
#include "array/watch.hpp"

namespace tessaron::py {

// Takes the GIL back. A thread that does so while the interpreter is being
// finalized is ended by CPython before 3.14 with pthread_exit, whose forced
// unwind would run our frames' cleanups without the GIL, against objects the
// interpreter is tearing down, and through noexcept frames (an abort). The
// thread is parked here instead, as CPython 3.14 parks such threads itself:
// the process exits around it.
inline void take_gil_back(PyThreadState* state) {
    try {
        PyEval_RestoreThread(state);
    } catch (abi::__forced_unwind&) {
        for (;;) pause();
    }
}

class WithoutGil {
public:
    WithoutGil() : state_(PyEval_SaveThread()) {}
    ~WithoutGil() { take_gil_back(state_); }
    WithoutGil(const WithoutGil&) = delete;
    WithoutGil& operator=(const WithoutGil&) = delete;

    // Takes the GIL back for a moment to run pending signal handlers; true
    // when one raised (KeyboardInterrupt, say), which is then the pending
    // exception of this thread.
    bool signalled() {
        take_gil_back(state_);
        const bool raised = PyErr_CheckSignals() != 0;
        state_ = PyEval_SaveThread();
        return raised;
    }

private:
    PyThreadState* state_;
};

// A watch for work done with the GIL held: it runs pending signal handlers
// itself, and Ctrl-C abandons the work with KeyboardInterrupt pending.
inline ::tessaron::Watch signal_watch() {
    return ::tessaron::Watch([](void*) { return PyErr_CheckSignals() != 0; }, nullptr);
}

// Runs work(watch) without the GIL, the watch polling for signals: Ctrl-C
// abandons the work (as Interrupted) with KeyboardInterrupt pending.
template <class F>
decltype(auto) without_gil(F&& work) {
    WithoutGil released;
    ::tessaron::Watch watch([](void* gil) { return static_cast<WithoutGil*>(gil)->signalled(); },
                                     &released);
    return work(watch);
}

}  // namespace tessaron::py
