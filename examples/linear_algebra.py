"""Linear algebra: products, Cholesky, QR and eigenvalues, reproducible bit for bit."""
import tessaron as ts

L = ts.linalg
a = ts.Array([3, 3], [4.0, 1.0, 0.5, 1.0, 3.0, 0.25, 0.5, 0.25, 2.0])  # symmetric positive definite

chol = L.cholesky(a)
print("Cholesky factor L:", chol.tolist())
print("L @ L^T reproduces a:", (chol @ L.transpose(chol)).tolist())

q, r = L.qr(a)
print("R of the QR decomposition (diagonal signs follow the reflections):", r.diagonal().tolist())

values, vectors = L.eig(a)
print("eigenvalues (decreasing magnitude):", values.tolist())
v = vectors.take([0, 3, 6])  # the first column: the eigenvector of values[0]
print("a v:", L.matmul(a, v).tolist())
print("lambda v:", (v * values[0]).tolist())
