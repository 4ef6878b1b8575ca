// Per-instance read/write loan: any number of readers or one writer. A
// conflicting loan can only come from a re-entrant call (a conversion hook
// touching the object that is being used) and raises RuntimeError.
#pragma once

#include <utility>

#include "python/py.hpp"

namespace tessaron::py {

struct LoanFlag {
    Py_ssize_t state = 0;  // > 0: readers, -1: one writer
};

template <bool Write>
class Loan {
public:
    Loan() = default;
    Loan(const Loan&) = delete;
    Loan& operator=(const Loan&) = delete;
    Loan(Loan&& o) noexcept : flag_(std::exchange(o.flag_, nullptr)) {}
    ~Loan() {
        if (flag_) flag_->state = Write ? 0 : flag_->state - 1;
    }
    // Takes the loan, or raises RuntimeError and returns false.
    bool acquire(LoanFlag& f) {
        if (Write ? f.state != 0 : f.state < 0) {
            PyErr_SetString(PyExc_RuntimeError, Write ? "Already borrowed" : "Already mutably borrowed");
            return false;
        }
        f.state = Write ? -1 : f.state + 1;
        flag_ = &f;
        return true;
    }

private:
    LoanFlag* flag_ = nullptr;
};

using ReadLoan = Loan<false>;
using WriteLoan = Loan<true>;

}  // namespace tessaron::py
