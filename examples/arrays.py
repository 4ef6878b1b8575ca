"""Arrays: construction, broadcasting arithmetic, reductions and NumPy exchange."""
import tessaron as ts

a = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
row = ts.asarray([10.0, 20.0, 30.0])
print("a + row (broadcast):", (a + row).tolist())
print("1 / a:", (1 / a).tolist())
print("a @ a.t():", (a @ a.t()).tolist())
print("sum, mean, std:", a.sum(), a.mean(), a.std())
print("clip to [2, 5]:", a.clip(2.0, 5.0).tolist())

try:
    import numpy as np
except ImportError:
    print("NumPy is not installed: skipping the exchange")
else:
    x = a.to_numpy()  # a new float64 array, a copy
    print("to NumPy:", type(x).__name__, x.shape, x.dtype)
    back = ts.Array.from_numpy(np.sqrt(x))
    print("back from NumPy:", back.shape, back.tolist())
