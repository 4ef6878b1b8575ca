// Per-instance read/write loan: any number of readers or one writer. A
// conflicting loan can only come from a re-entrant call (a conversion hook
// touching the object that is being used) and raises RuntimeError.
#pragma once

#include "python/py.hpp"

namespace tessaron::py {

struct LoanFlag {
    Py_ssize_t state = 0;  // > 0: readers, -1: one writer
};

class ReadLoan {
public:
    ReadLoan() = default;
    ReadLoan(const ReadLoan&) = delete;
    ReadLoan& operator=(const ReadLoan&) = delete;
    ReadLoan(ReadLoan&& o) noexcept : flag_(o.flag_) { o.flag_ = nullptr; }
    ~ReadLoan() {
        if (flag_) --flag_->state;
    }
    // Takes the loan, or raises RuntimeError and returns false.
    bool acquire(LoanFlag& f) {
        if (f.state < 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            return false;
        }
        ++f.state;
        flag_ = &f;
        return true;
    }

private:
    LoanFlag* flag_ = nullptr;
};

class WriteLoan {
public:
    WriteLoan() = default;
    WriteLoan(const WriteLoan&) = delete;
    WriteLoan& operator=(const WriteLoan&) = delete;
    ~WriteLoan() {
        if (flag_) flag_->state = 0;
    }
    bool acquire(LoanFlag& f) {
        if (f.state != 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            return false;
        }
        f.state = -1;
        flag_ = &f;
        return true;
    }

private:
    LoanFlag* flag_ = nullptr;
};

}  // namespace tessaron::py
