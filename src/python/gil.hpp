// Giving up the GIL around work on data no Python code can reach (a built
// tree, private copies of the input, outputs not yet handed out).
#pragma once

#include "python/py.hpp"
#include "spatial/parallel.hpp"

namespace tessaron::py {

class WithoutGil {
public:
    WithoutGil() : state_(PyEval_SaveThread()) {}
    ~WithoutGil() { PyEval_RestoreThread(state_); }
    WithoutGil(const WithoutGil&) = delete;
    WithoutGil& operator=(const WithoutGil&) = delete;

    // Takes the GIL back for a moment to run pending signal handlers; true
    // when one raised (KeyboardInterrupt, say), which is then the pending
    // exception of this thread.
    bool signalled() {
        PyEval_RestoreThread(state_);
        const bool raised = PyErr_CheckSignals() != 0;
        state_ = PyEval_SaveThread();
        return raised;
    }

private:
    PyThreadState* state_;
};

// Runs work(watch) without the GIL, the watch polling for signals: Ctrl-C
// abandons the work (as Interrupted) with KeyboardInterrupt pending.
template <class F>
decltype(auto) without_gil(F&& work) {
    WithoutGil released;
    ::tessaron::spatial::Watch watch([&] { return released.signalled(); });
    return work(watch);
}

}  // namespace tessaron::py
