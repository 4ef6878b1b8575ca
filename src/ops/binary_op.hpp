// The four arithmetic operations shared by the array-array and scalar forms.
#pragma once

namespace tessaron {

enum class BinaryOp { Add, Subtract, Multiply, Divide };

namespace ops {
struct Add {
    static double apply(double x, double y) { return x + y; }
};
struct Subtract {
    static double apply(double x, double y) { return x - y; }
};
struct Multiply {
    static double apply(double x, double y) { return x * y; }
};
struct Divide {
    static double apply(double x, double y) { return x / y; }
};
}  // namespace ops

// Calls f.template operator()<Functor>() for the functor of `op`, so that
// every loop is compiled once per operation with the operation inlined.
template <class F>
decltype(auto) with_op(BinaryOp op, F&& f) {
    switch (op) {
        case BinaryOp::Add: return f.template operator()<ops::Add>();
        case BinaryOp::Subtract: return f.template operator()<ops::Subtract>();
        case BinaryOp::Multiply: return f.template operator()<ops::Multiply>();
        case BinaryOp::Divide: break;
    }
    return f.template operator()<ops::Divide>();
}

}  // namespace tessaron
