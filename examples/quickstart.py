"""A first tour of tessaron: build arrays, inspect them, convert them."""
import tessaron as ts

a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
print("a =", a)
print("shape:", a.shape, "elements:", len(a))
print("as nested lists:", a.tolist())
print("flat iteration:", list(a))

print("identity with an offset diagonal:", ts.eye(3, k=1).tolist())
print("diagonal matrix:", ts.diag([1.0, 2.0], k=-1).tolist())
print("reshaped:", ts.asarray([1, 2, 3, 4], shape=[2, 2]).tolist())
print("columns:", ts.column_stack([ts.asarray([1, 2]), ts.Array([2, 2], [3, 4, 5, 6])]).tolist())

try:
    ts.Array([2, 2], [1, 2, 3])
except ValueError as e:
    print("ValueError:", e)
