"""k-nearest queries spread over the worker processes of a Dask cluster.

The tree is built once, pickled and scattered to the workers once; each task
answers one chunk of queries with one batch call. Prints the throughput of
one process (one thread, then every core) and of 1, 2 and all workers, and
checks every answer against the single-process run.

    pip install "dask[distributed]"
    python examples/dask_neighbours.py [n_points] [n_queries]

On a real cluster the same code runs with Client("tcp://scheduler:8786")
instead of the LocalCluster below.
"""
import os
import sys
import time

import tessaron as ts


def answer(tree, chunk, workers=1):
    """The rows of the 10 nearest points of each query in the chunk (an m x 3
    Array, which pickles compactly), as the bytes of an m x 10 int64 matrix."""
    _, rows = tree.query_knn_batch(chunk, 10, workers=workers)
    return rows.tobytes()


def main(n_points=100_000, n_queries=1_000_000, chunk=20_000):
    from dask.distributed import Client, LocalCluster

    g = ts.random.seed(1)
    tree = ts.spatial.KDTree.from_array(g.uniform(0.0, 1.0, [n_points, 3]), leaf_size=16)
    queries = g.uniform(0.0, 1.0, [n_queries, 3])
    chunks = [ts.asarray(queries[i * 3 * chunk:(i + 1) * 3 * chunk], [min(chunk, n_queries - i * chunk), 3])
              for i in range((n_queries + chunk - 1) // chunk)]

    start = time.perf_counter()
    expected = [answer(tree, c) for c in chunks]
    single = time.perf_counter() - start
    print(f"one process, one thread: {n_queries / single:12,.0f} queries/s")
    start = time.perf_counter()
    assert [answer(tree, c, workers=-1) for c in chunks] == expected
    print(f"one process, every core: {n_queries / (time.perf_counter() - start):12,.0f} queries/s")

    most = os.cpu_count() or 1
    for workers in sorted({1, min(2, most), most}):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            shipped = client.scatter(tree, broadcast=True)  # pickled once per worker
            start = time.perf_counter()
            results = client.gather([client.submit(answer, shipped, c, pure=False) for c in chunks])
            elapsed = time.perf_counter() - start
        assert results == expected, "a worker's answers differ from the single-process run"
        print(f"{workers} worker(s): {n_queries / elapsed:12,.0f} queries/s, answers identical")


if __name__ == "__main__":
    main(*(int(a) for a in sys.argv[1:3]))
