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

# Arithmetic broadcasts; every result is a new array.
m = ts.Array([2, 3], [1, 2, 3, 4, 5, 6])
print("m - row:", (m - ts.asarray([1, 1, 1])).tolist())
print("2 / m:", (2 / m).tolist())
print("m @ m.t():", (m @ m.t()).tolist())
print("sum, mean, var:", m.sum(), m.mean(), m.var())
print("median, quantile(0.25):", m.median(), m.quantile(0.25))

# Indexing reads copies; assignment changes one element.
row = m[1]
assert isinstance(row, ts.Array)  # a row of a matrix (an element of a vector is a float)
m[1, 2] = 60.0
print("row 1 read before the assignment:", row.tolist(), "now:", m.take([3, 4, 5]).tolist())

# Reproducible random numbers.
g = ts.random.seed(0)
print("uniform:", g.uniform(0.0, 1.0, [3]).tolist())
print("normal:", g.normal(0.0, 1.0, [2, 2]).tolist())

# Linear algebra: decompositions with fixed loop orders, reproducible bit for bit.
spd = ts.Array([2, 2], [4, 2, 2, 3])
print("cholesky:", ts.linalg.cholesky(spd).tolist())
q, r = ts.linalg.qr(spd)
print("qr: R =", r.tolist())
values, vectors = ts.linalg.eig(spd)
print("eigenvalues:", values.tolist())

# Statistics as functions, and correlation.
x = ts.asarray([1.0, 2.0, 3.0, 4.0])
y = ts.asarray([1.0, 4.0, 9.0, 16.0])
print("std:", ts.stats.std(x), "quantiles:", ts.stats.quantile(x, ts.asarray([0.25, 0.75])).tolist())
print("pearson:", ts.stats.pearson(x, y), "spearman:", ts.stats.spearman(x, y))

# Spatial trees: nearest neighbours, radius queries and kernel densities.
points = ts.random.seed(7).uniform(0.0, 1.0, [1000, 2])
tree = ts.spatial.KDTree.from_array(points, leaf_size=16)
print("3 nearest to the centre:", tree.query_knn([0.5, 0.5], 3))
print("within 0.05:", len(tree.query_radius([0.5, 0.5], 0.05)))
print("Gaussian density there:", tree.kernel_density([0.5, 0.5], bandwidth=0.1))
