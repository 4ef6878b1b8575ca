"""Statistics: reductions, quantiles and rank correlation."""
import tessaron as ts

S = ts.stats
g = ts.random.seed(2026)
x = g.normal(0.0, 1.0, [10_000])
y = x * 0.8 + g.normal(0.0, 0.6, [10_000])

print(f"mean {S.mean(x):+.4f}  std {S.std(x):.4f}  median {S.median(x):+.4f}")
quartiles = S.quantile(x, ts.asarray([0.25, 0.5, 0.75]))
print("quartiles:", [round(q, 4) for q in quartiles.tolist()])
print(f"pearson {S.pearson(x, y):.4f}  spearman {S.spearman(x, y):.4f}")
print("with ties:", S.spearman(ts.asarray([1, 2, 2, 3]), ts.asarray([1, 3, 3, 4])))
