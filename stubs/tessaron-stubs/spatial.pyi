"""KD-, ball and VP-trees: k-nearest, radius and kernel-density queries."""
import sys
from collections.abc import Iterator, Sequence
from typing import Any, Literal, SupportsFloat, SupportsIndex, final, overload

from typing_extensions import Buffer, Self

from . import Array, _ArrayLike
from .random import Generator

__all__ = ["BallTree", "KDTree", "VPTree"]

_Float = SupportsFloat | SupportsIndex
_Query = Array | Sequence[_Float] | _Float
_Queries = Array | Sequence[_Float] | _Float | None
# A batch of queries: an (m, dim) Array, a 2-D buffer of real numbers (a
# NumPy array of any real dtype and layout) or m sequences of dim numbers.
_QueryBatch = _ArrayLike | Sequence[Sequence[_Float]]
# One radius for every query, or one per query.
_Radius = _Float | Sequence[_Float] | _ArrayLike

@final
class IndexMatrix:
    """A matrix of 64-bit ints: the input rows a k-nearest batch found.

    It exports its buffer (numpy.asarray and memoryview share it without a
    copy); len() counts its rows, iteration and m[i] give rows as lists of
    ints, m[i, j] one int; == compares two matrices; it pickles compactly,
    as its shape and its bytes. Counts, offsets and flat answers are
    vectors of this type: shape (n,), whose iteration and m[i] give ints.
    """
    @property
    def shape(self) -> tuple[int, ...]: ...
    @property
    def ndim(self) -> int: ...
    @property
    def format(self) -> str: ...
    @property
    def itemsize(self) -> int: ...
    @property
    def nbytes(self) -> int: ...
    def tolist(self) -> list[Any]:
        """The rows as lists of ints (a vector's values as ints).

        Returns
        -------
        list of list of int, or list of int
            One list per row; of a vector, one int per value.
        """
    def tobytes(self) -> bytes:
        """The values as bytes, row after row, in the machine's byte order.

        Returns
        -------
        bytes
            rows * columns * 8 bytes.
        """
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[Any]: ...
    @overload
    def __getitem__(self, key: SupportsIndex, /) -> Any: ...
    @overload
    def __getitem__(self, key: tuple[SupportsIndex, SupportsIndex], /) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    if sys.version_info >= (3, 12):
        def __buffer__(self, flags: int, /) -> memoryview: ...
        def __release_buffer__(self, buffer: memoryview, /) -> None: ...


@final
class Metric:
    """A distance metric with its parameters, for a tree's `metric`.

    Metric(name, *, p=None, period=None). `name`: "euclidean",
    "manhattan", "chebyshev", "minkowski" or "haversine" (any case).
    Minkowski's `p`
    is any real number of at least 1 (2 when not given); p = 1, 2 and
    inf are the Manhattan, Euclidean and Chebyshev metrics, bit for bit,
    and the object names them so: Metric("minkowski", p=2) ==
    Metric("euclidean"). For other p the distance is the sum, in
    coordinate order from 0.0, of |a[i] - b[i]| ** p (for a whole p up
    to 64 a product of p factors, left to right; pow otherwise), then
    pow(sum, 1 / p); every tree and query takes it. "haversine": the
    great-circle distance in radians between points of two coordinates
    (latitude, longitude in radians), scikit-learn's formula 2 *
    asin(sqrt(sin(dlat / 2)^2 + cos(lat1) * cos(lat2) * sin(dlon / 2)^2));
    BallTree and VPTree take it, KDTree does not.

    `period` (the Minkowski family only): a periodic box, as cKDTree's
    `boxsize`: one number for every dimension or one per dimension, each
    positive (that dimension wraps) or inf or 0 (it does not). In a
    wrapping dimension of period L the difference d of two coordinates
    becomes min(d, L - d) before the family combines the differences; a
    tree's points must lie in [0, L) there (refused otherwise), queries
    anywhere are first wrapped into it (x - floor(x / L) * L). Every tree
    and query takes a periodic metric.

    Objects are immutable, compare and hash by the metric they measure
    with, and pickle.

    Raises
    ------
    ValueError
        "p must be a number of at least 1 (got {p})", "p is taken by the
        'minkowski' metric only, not by '{name}'", "Unknown distance
        metric '{}'. Valid options: 'euclidean', 'manhattan',
        'chebyshev', 'minkowski', 'haversine'", "period must hold
        positive numbers, inf or 0 (got {x})", "period must hold one
        number or one per dimension, not none", "period is taken by the
        Minkowski family only, not by 'haversine'".
    TypeError
        A `p` or `period` that is not a real number or a sequence of them.
    """
    def __new__(cls, name: str, *, p: _Float | None = None,
                period: _Float | Sequence[_Float] | None = None) -> Metric: ...
    @property
    def name(self) -> str: ...
    @property
    def p(self) -> float | None: ...
    @property
    def period(self) -> float | tuple[float, ...] | None: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self) -> int: ...

_Samples = _ArrayLike | Sequence[Sequence[_Float]]

@final
class KernelDensity:
    """A kernel density estimator: scikit-learn's KernelDensity on our trees.

    KernelDensity(*, bandwidth=1.0, kernel="gaussian", metric="euclidean",
    tree="kd", leaf_size=40, atol=0.0, rtol=0.0, workers=1). It follows
    scikit-learn's estimator conventions without depending on it: the
    parameters are kept as given (attributes of those names, read by
    `get_params`, changed by `set_params`) and checked by `fit`; fitted
    attributes end in "_"; it clones, pickles and works inside
    `GridSearchCV`. `score_samples` gives the log of the normalised
    density

        p(x) = C / W * sum over the points x_i of w_i * K(d(x, x_i) / h)

    with w_i the sample weights (1 without them), W their sum, h the
    bandwidth, K the kernel's profile (1 at 0) and C the constant that
    makes K(|x| / h) integrate to 1 over space by the Euclidean length, for
    every metric (as scikit-learn's). The kernels, of u = d / h (the
    bounded ones 0 from u = 1 on: a point at exactly one bandwidth adds
    nothing):

    - "gaussian": exp(-u^2 / 2);
    - "tophat": 1 for u < 1;
    - "epanechnikov": 1 - u^2 for u < 1;
    - "exponential": exp(-u);
    - "linear": 1 - u for u < 1;
    - "cosine": cos(pi u / 2) for u < 1.

    With atol = rtol = 0 the density is exact to rounding: a node of the
    tree is taken whole (its weight times the mean of the kernel at its
    nearest and farthest possible distance) only where its whole spread is
    below 1e-15 of the density. Where every term of the gaussian or
    exponential kernel underflows (a query far from all points), the terms
    are summed relative to the nearest point's and the log is still finite;
    the bounded kernels give -inf where no point is within a bandwidth.
    The cosine kernel's constant is the one that makes it integrate to 1
    in every dimension (scikit-learn's is off in even dimensions: its
    density integrates to 0.36 in two).

    Parameters
    ----------
    bandwidth : float or str, default 1.0
        The kernel's width h: a positive number, "scott" (n ** (-1 / (d +
        4))) or "silverman" ((n * (d + 2) / 4) ** (-1 / (d + 4))), with n
        the rows and d the columns of the fitted X.
    kernel : str, default "gaussian"
        The kernel, by name (any case): "gaussian", "tophat",
        "epanechnikov", "exponential", "linear" or "cosine".
    metric : str or Metric, default "euclidean"
        "euclidean", "manhattan", "chebyshev" or a `Metric`.
    tree : str, default "kd"
        The tree that holds the points: "kd", "ball" or "vp".
    leaf_size : int, default 40
        The tree's leaf size, at least 1.
    atol, rtol : float, default 0.0
        The tolerance of each density p (not of its log): every answer is
        within atol + rtol * p of the exact p, up to the sum's rounding. A
        node is taken at its midpoint only when half its spread fits its
        weight's share of atol + rtol times a lower bound of the density
        found so far (an rtol below 1e-15 counts as 1e-15).
    workers : int, default 1
        Threads for fit's build and for scoring: 1 the calling thread, n
        > 1 up to n threads, -1 one per core the process may use. The
        answers are the same, bit for bit, for every value.
    """
    bandwidth: Any
    kernel: Any
    metric: Any
    tree: Any
    leaf_size: Any
    atol: Any
    rtol: Any
    workers: Any
    def __new__(cls, *, bandwidth: _Float | str = 1.0, kernel: str = "gaussian", metric: str | Metric = "euclidean",
                tree: str = "kd", leaf_size: SupportsIndex = 40, atol: _Float = 0.0, rtol: _Float = 0.0,
                workers: SupportsIndex = 1) -> KernelDensity: ...
    @property
    def tree_(self) -> KDTree | BallTree | VPTree: ...
    @property
    def bandwidth_(self) -> float: ...
    @property
    def n_features_in_(self) -> int: ...
    def fit(self, X: _Samples, y: object = None, sample_weight: _Radius | None = None) -> Self:
        """Fits the estimator to the rows of X: checks the parameters and builds the tree.

        Parameters
        ----------
        X : Array, buffer, sequence of sequences or array-like
            n rows of d numbers, none NaN or infinite: an (n, d) Array, a
            2-D buffer of real numbers (a NumPy array of any real dtype),
            n sequences of d numbers, or an object with `__array__` (a
            DataFrame).
        y : object, optional
            Ignored: there for scikit-learn's pipelines.
        sample_weight : sequence or buffer of float, optional
            One non-negative weight per row of X, not all 0; rows of weight
            0 are left out of the tree.

        Returns
        -------
        KernelDensity
            The estimator itself.

        Raises
        ------
        ValueError
            A parameter that is not valid, naming it ("bandwidth must be a
            positive number, 'scott' or 'silverman', not -1.0", "kernel
            must be one of ...", "tree must be one of 'kd', 'ball', 'vp',
            not 'x'", "leaf_size must be a positive integer, not 0", "atol
            must be a non-negative number, not -1"); an unknown metric name;
            X without rows or columns or with NaN or infinity ("Input X
            contains NaN."); weights not one per row, negative, or all 0.
        TypeError
            X or sample_weight not numbers; sparse input.
        """
    def score_samples(self, X: _Samples) -> Any:
        """The log of the density at each row of X.

        Parameters
        ----------
        X : Array, buffer, sequence of sequences or array-like
            m rows of the fitted number of columns, as `fit` takes them.

        Returns
        -------
        numpy.ndarray or Array
            Shape (m,), float64: a NumPy array where NumPy is installed (a
            view of our Array, no copy), the Array otherwise; -inf where the
            density is 0.

        Raises
        ------
        ValueError
            Not fitted ("This KernelDensity instance is not fitted yet.
            ..."); "X has 2 features, but KernelDensity is expecting 3
            features as input."; NaN or infinity in X; a kernel, atol, rtol
            or workers not valid.
        """
    def score(self, X: _Samples, y: object = None) -> float:
        """The sum of the log-densities of the rows of X.

        Parameters
        ----------
        X : Array, buffer, sequence of sequences or array-like
            As for `score_samples`.
        y : object, optional
            Ignored.

        Returns
        -------
        float
            The sum of `score_samples(X)`, in row order.
        """
    def sample(self, n_samples: SupportsIndex = 1, random_state: SupportsIndex | Generator | None = None) -> Any:
        """Draws points from the fitted density (under the euclidean metric).

        Each draw picks a fitted point (uniformly, or by weight) and moves it
        by a draw from the kernel: for the gaussian h times dim standard
        normal deviates; for the others a uniform direction and a distance
        whose density is proportional to K(r / h) r^(dim - 1). Every kernel
        is taken (scikit-learn takes the gaussian and the tophat).

        Parameters
        ----------
        n_samples : int, default 1
            How many points.
        random_state : int, Generator or None, default None
            A seed (the same seed gives the same points), a
            `tessaron.random.Generator` whose draws the call takes (it moves
            on), or None for a seed from the clock.

        Returns
        -------
        numpy.ndarray or Array
            Shape (n_samples, n_features_in_): a NumPy array where NumPy is
            installed, the Array otherwise.

        Raises
        ------
        ValueError
            Not fitted; a kernel that is not valid; "random_state must be
            None, a seed or a tessaron Generator, not ...".
        NotImplementedError
            A metric other than "euclidean".
        """
    def get_params(self, deep: bool = True) -> dict[str, Any]:
        """The parameters, by name in alphabetical order, as they were given.

        Parameters
        ----------
        deep : bool, default True
            Ignored: no parameter is an estimator.

        Returns
        -------
        dict
            {"atol": ..., "bandwidth": ..., ..., "workers": ...}.
        """
    def set_params(self, /, **params: Any) -> Self:
        """Sets parameters by name; they are checked by the next fit.

        Returns
        -------
        KernelDensity
            The estimator itself.

        Raises
        ------
        ValueError
            "Invalid parameter 'x' for estimator KernelDensity(). Valid
            parameters are: [...]." (nothing is changed then).
        """
    def __sklearn_is_fitted__(self) -> bool: ...
    def __sklearn_tags__(self) -> Any: ...


class _Tree:
    @property
    def n(self) -> int: ...
    @property
    def dim(self) -> int: ...
    @property
    def metric(self) -> str | Metric: ...
    @property
    def leaf_size(self) -> int: ...
    @property
    def points(self) -> Array: ...
    def __len__(self) -> int: ...
    def query_knn(self, query: _Query, k: SupportsIndex) -> list[int]:
        """The input rows of the k points nearest to one query point, nearest first.

        Parameters
        ----------
        query : float, sequence of float or Array
            The point: dim numbers as a sequence or an Array (its elements
            in row-major order), or a number on a one-dimensional tree.
        k : int
            How many neighbours; 0 gives an empty list.

        Returns
        -------
        list of int
            At most k rows, by increasing distance in the tree's metric.
            Among equally distant points, those the search met first stay.

        Raises
        ------
        ValueError
            "query must be a scalar, list, or Array".
        PanicException
            The query's length differs from the tree's dimension.
        OverflowError
            A negative `k`.
        """
    def query_radius(self, query: _Query, radius: _Float) -> list[int]:
        """The input rows of the points within a distance of one query point.

        Parameters
        ----------
        query : float, sequence of float or Array
            The point: dim numbers as a sequence or an Array (its elements
            in row-major order), or a number on a one-dimensional tree.
        radius : float
            Points at a distance of at most radius are included.

        Returns
        -------
        list of int
            The rows in the order the tree's walk meets them (neither by
            distance nor by row).

        Raises
        ------
        ValueError
            "query must be a scalar, list, or Array".
        PanicException
            The query's length differs from the tree's dimension.
        TypeError
            `radius` is not a number.
        """
    def kernel_density(self, queries: _Queries = None, bandwidth: _Float | None = 1.0,
                       kernel: str | None = "gaussian") -> float | Array:
        """Kernel density sums at query points, exact up to a cut-off.

        Each density is the plain sum over the tree's points of the kernel at
        distance / bandwidth, without normalisation; nodes whose largest
        possible kernel value is below 1e-10 are left out. Runs without the
        GIL once the queries are copied.

        Parameters
        ----------
        queries : None, float, sequence of float or Array
            None for the tree's own points (the densities in input-row
            order); one point as a sequence of dim numbers, a number (a
            one-dimensional tree) or a 1-D Array; several points as an
            (m, dim) Array.
        bandwidth : float, default 1.0
            The kernel's width h: each point adds K(distance / h).
        kernel : str, default "gaussian"
            "gaussian" (exp(-u*u/2)), "epanechnikov" (3/4 (1 - u*u)),
            "uniform" (1/2) or "triangular" (1 - u), the last three zero
            from u = 1 on; not normalised. Any case.

        Returns
        -------
        float or Array
            A float for exactly one query point, else an Array of shape (m,);
            `kernel_density_batch` always gives an Array.

        Raises
        ------
        ValueError
            "bandwidth must be a positive number", "Unknown kernel type
            '{}'. Valid options: ...", "Query dimension {w} doesn't match
            tree dimension {d}", "Query vector length {w} doesn't match tree
            dimension {d}", "queries must be 1D or 2D array" or "queries
            must be a scalar, list, or Array".
        PanicException
            A number as queries on a tree of more than one dimension.
        KeyboardInterrupt
            Ctrl-C during the call; the tree stays usable.
        """
    def kernel_density_approx(self, queries: _Queries = None, bandwidth: _Float | None = 1.0,
                              kernel: str | None = "gaussian", criterion: str | None = "none",
                              min_samples: SupportsIndex | None = None,
                              max_span: _Float | None = None) -> float | Array:
        """Kernel density sums with whole nodes estimated where the criterion allows.

        As `kernel_density`, but a node that the criterion accepts adds one
        estimate instead of its points' kernel values.

        Parameters
        ----------
        queries : None, float, sequence of float or Array
            None for the tree's own points (the densities in input-row
            order); one point as a sequence of dim numbers, a number (a
            one-dimensional tree) or a 1-D Array; several points as an
            (m, dim) Array.
        bandwidth : float, default 1.0
            The kernel's width h: each point adds K(distance / h).
        kernel : str, default "gaussian"
            "gaussian" (exp(-u*u/2)), "epanechnikov" (3/4 (1 - u*u)),
            "uniform" (1/2) or "triangular" (1 - u), the last three zero
            from u = 1 on; not normalised. Any case.
        criterion : str, default "none"
            Which nodes are replaced by one estimate (their point count
            times the mean kernel value at their nearest and farthest
            distance): "none" (exact), "min_samples" (nodes of at least
            min_samples points: coarse, use within "combined"), "max_span"
            (nodes no larger than max_span: box diagonal, ball diameter or
            shell width) or "combined" (both).
        min_samples : int, optional
            Needed by "min_samples" and "combined".
        max_span : float, optional
            Needed by "max_span" and "combined"; at most half the bandwidth
            keeps the error small.

        Returns
        -------
        float or Array
            A float for exactly one query point, else an Array of shape (m,).

        Raises
        ------
        ValueError
            "bandwidth must be a positive number", "Unknown kernel type
            '{}'. Valid options: ...", "Query dimension {w} doesn't match
            tree dimension {d}", "Query vector length {w} doesn't match tree
            dimension {d}", "queries must be 1D or 2D array" or "queries
            must be a scalar, list, or Array".
            Also "Unknown approximation criterion '{}'. Valid options: ..."
            and "{param} parameter required for '{criterion}' criterion".
        PanicException
            A number as queries on a tree of more than one dimension.
        KeyboardInterrupt
            Ctrl-C during the call; the tree stays usable.
        """
    def query_knn_batch(self, queries: _QueryBatch | None, k: SupportsIndex, *,
                        workers: SupportsIndex = 1,
                        distance_upper_bound: _Float | None = None) -> tuple[Array, IndexMatrix]:
        """The k nearest points of many queries at once, without the GIL.

        Parameters
        ----------
        queries : Array, buffer, sequence of sequences or None
            An (m, dim) Array, any 2-D buffer of real numbers (a NumPy array
            of any real dtype and layout, converted to float64 once) or m
            rows of dim numbers (sequences or 1-D Arrays); m may be 0.
            None: the k-nearest graph of the tree's own points, row i for
            the point of input row i, which is left out of its own row by
            its row number (an equal point elsewhere is still a neighbour);
            rows then have min(k, n - 1) places.
        k : int
            How many neighbours per query.
        workers : int, default 1
            Threads for the call: 1 the calling thread, n > 1 up to n
            threads, -1 one per core the process may use. The answers are
            the same, bit for bit, for every value.
        distance_upper_bound : float or None, default None
            Only points at a distance of at most this are neighbours; it
            also prunes the search (None or inf: no bound). Places left empty hold the index -1 and
            the distance inf.

        Returns
        -------
        distances : Array
            Shape (m, min(k, n)): the distances the search computed.
        indices : IndexMatrix
            64-bit integers of the same shape (numpy.asarray takes them
            without a copy): without a bound, row i is exactly
            query_knn(queries[i], k), ties included; with one, its first
            places within the bound.

        Raises
        ------
        ValueError
            "Query dimension {w} doesn't match tree dimension {d}", "queries
            must be a 2D array", "workers must be a positive integer or -1"
            or "distance_upper_bound must be a non-negative number, not {x}".
        TypeError
            A buffer of numbers that are not real ("queries must hold real
            numbers, not buffer format '{format}'") or a `workers` that is
            not an integer.
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned and the tree stays
            usable.
        """
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: Literal[False] = False, sort_results: bool = False,
                           count_only: Literal[False] = False, flat: Literal[False] = False) -> list[list[int]]:
        """The points within a distance of many queries at once, without the GIL.

        Parameters
        ----------
        queries : Array, buffer or sequence of sequences
            An (m, dim) Array, any 2-D buffer of real numbers (a NumPy array
            of any real dtype and layout, converted to float64 once) or m
            rows of dim numbers (sequences or 1-D Arrays); m may be 0.
        radius : float, or sequence, Array or 1-D buffer of m floats
            Points at a distance of at most radius are included: one radius
            for every query, or one per query. None may be negative or NaN.
        workers : int, default 1
            Threads for the call: 1 the calling thread, n > 1 up to n
            threads, -1 one per core the process may use. The answers are
            the same, bit for bit, for every value.
        return_distance : bool, default False
            Also give each point's distance (as the search computed it).
        sort_results : bool, default False
            Order each answer by distance, ties by input row; otherwise in
            the tree's walk order, as query_radius gives it.
        count_only : bool, default False
            Give only how many points each query has, without listing them
            (not with return_distance or flat).
        flat : bool, default False
            Give the answers as compressed rows instead of lists: the fast
            form for large answers.

        Returns
        -------
        list of list of int
            By default: list i is exactly query_radius(queries[i], radius[i]).
        (list of list of int, list of Array)
            With return_distance: the lists and, per query, a 1-D Array of
            the distances in the same order.
        (offsets, indices) or (offsets, indices, distances)
            With flat: offsets, an IndexMatrix vector of m + 1 values;
            query i's points are indices[offsets[i]:offsets[i + 1]] (an
            IndexMatrix vector) and, with return_distance, their distances
            the same slice of a 1-D Array.
        IndexMatrix
            With count_only: a vector of m counts.

        Raises
        ------
        ValueError
            "Query dimension {w} doesn't match tree dimension {d}", "queries
            must be a 2D array", "workers must be a positive integer or -1",
            a radius that is negative or NaN or whose count is not m, or
            count_only with return_distance or flat.
        TypeError
            A buffer of numbers that are not real ("queries must hold real
            numbers, not buffer format '{format}'") or a `workers` that is
            not an integer.
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned and the tree stays
            usable.
        """
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: Literal[True], sort_results: bool = False,
                           count_only: Literal[False] = False,
                           flat: Literal[False] = False) -> tuple[list[list[int]], list[Array]]: ...
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: Literal[False] = False, sort_results: bool = False,
                           count_only: Literal[False] = False,
                           flat: Literal[True]) -> tuple[IndexMatrix, IndexMatrix]: ...
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: Literal[True], sort_results: bool = False,
                           count_only: Literal[False] = False,
                           flat: Literal[True]) -> tuple[IndexMatrix, IndexMatrix, Array]: ...
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: Literal[False] = False, sort_results: bool = False,
                           count_only: Literal[True], flat: Literal[False] = False) -> IndexMatrix: ...
    @overload
    def query_radius_batch(self, queries: _QueryBatch, radius: _Radius, *, workers: SupportsIndex = 1,
                           return_distance: bool = False, sort_results: bool = False, count_only: bool = False,
                           flat: bool = False) -> Any: ...
    def kernel_density_batch(self, queries: _QueryBatch | None = None, bandwidth: _Float | None = 1.0,
                             kernel: str | None = "gaussian", criterion: str | None = "none",
                             min_samples: SupportsIndex | None = None, max_span: _Float | None = None, *,
                             workers: SupportsIndex = 1) -> Array:
        """Kernel density sums at many queries at once, always as an Array.

        Parameters
        ----------
        queries : Array, buffer, sequence of sequences or None
            As for `query_knn_batch`; None for the tree's own points, in
            input-row order.
        bandwidth : float, default 1.0
            The kernel's width h: each point adds K(distance / h).
        kernel : str, default "gaussian"
            "gaussian", "epanechnikov", "uniform" or "triangular".
        criterion : str, default "none"
            Which nodes are replaced by one estimate (their point count
            times the mean kernel value at their nearest and farthest
            distance): "none" (exact), "min_samples" (nodes of at least
            min_samples points: coarse, use within "combined"), "max_span"
            (nodes no larger than max_span: box diagonal, ball diameter or
            shell width) or "combined" (both).
        min_samples : int, optional
            Needed by "min_samples" and "combined".
        max_span : float, optional
            Needed by "max_span" and "combined"; at most half the bandwidth
            keeps the error small.
        workers : int, default 1
            Threads for the call: 1 the calling thread, n > 1 up to n
            threads, -1 one per core the process may use. The answers are
            the same, bit for bit, for every value.

        Returns
        -------
        Array
            Shape (m,): element i is, bit for bit, what
            kernel_density_approx gives for query i alone.

        Raises
        ------
        ValueError
            "bandwidth must be a positive number", the kernel and criterion
            messages of `kernel_density_approx`, or
            "Query dimension {w} doesn't match tree dimension {d}", "queries
            must be a 2D array" or "workers must be a positive integer or -1".
        TypeError
            A buffer of numbers that are not real ("queries must hold real
            numbers, not buffer format '{format}'") or a `workers` that is
            not an integer.
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned and the tree stays
            usable.
        """
    @overload
    def query_pairs(self, radius: _Float, *, workers: SupportsIndex = 1,
                    return_distance: Literal[False] = False) -> IndexMatrix:
        """Every pair of the tree's points within a distance of each other.

        Parameters
        ----------
        radius : float
            Pairs at a distance of at most radius (not negative or NaN).
        workers : int, default 1
            Threads for the call, as for `query_knn_batch`; the answer is
            the same for every value.
        return_distance : bool, default False
            Also give each pair's distance.

        Returns
        -------
        IndexMatrix
            Shape (p, 2): the input rows (i, j), i < j, of each pair,
            sorted by i, then j.
        (IndexMatrix, Array)
            With return_distance: the pairs and a 1-D Array of their
            distances, as the searches compute them.

        Raises
        ------
        ValueError
            "radius must be a non-negative number, not {x}" or "workers must
            be a positive integer or -1".
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned.
        """
    @overload
    def query_pairs(self, radius: _Float, *, workers: SupportsIndex = 1,
                    return_distance: Literal[True]) -> tuple[IndexMatrix, Array]: ...
    @overload
    def query_pairs(self, radius: _Float, *, workers: SupportsIndex = 1,
                    return_distance: bool = False) -> IndexMatrix | tuple[IndexMatrix, Array]: ...
    @overload
    def count_neighbors(self, other: Self | _QueryBatch, radii: _Float, *, workers: SupportsIndex = 1,
                        cumulative: bool = True) -> int:
        """How many pairs (x of this tree, y of other) lie within each radius.

        The two-point correlation: each point of `other` is counted
        against this tree, whole nodes at once where all their points fall
        between the same two radii.

        Parameters
        ----------
        other : tree of this class, Array, buffer or sequence of sequences
            A tree of the same class, dimension and metric, or points in any
            form `query_knn_batch` takes.
        radii : float, or sequence, Array or 1-D buffer of floats
            One radius, or radii in nondecreasing order; none negative or NaN.
        workers : int, default 1
            Threads for the call, as for `query_knn_batch`; the counts are
            the same for every value.
        cumulative : bool, default True
            Count the pairs within each radius; False: between each radius
            and the one before it (above it, at most it), the first
            counting from 0.

        Returns
        -------
        int
            For one radius, the count.
        IndexMatrix
            For a sequence of radii, a vector of one count per radius.

        Raises
        ------
        ValueError
            Radii that are negative, NaN or decreasing; an `other` tree of
            another dimension or metric, or points of another dimension.
        TypeError
            An `other` tree of another class.
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned.
        """
    @overload
    def count_neighbors(self, other: Self | _QueryBatch, radii: Sequence[_Float] | _ArrayLike, *,
                        workers: SupportsIndex = 1, cumulative: bool = True) -> IndexMatrix: ...
    def sparse_distance_matrix(self, other: Self | _QueryBatch, max_distance: _Float, *,
                               workers: SupportsIndex = 1) -> tuple[IndexMatrix, IndexMatrix, Array]:
        """Every pair (row of this tree, row of other) within a distance, as a sparse matrix.

        Parameters
        ----------
        other : tree of this class, Array, buffer or sequence of sequences
            As for `count_neighbors`.
        max_distance : float
            Pairs at a distance of at most this (not negative or NaN).
        workers : int, default 1
            Threads for the call, as for `query_knn_batch`; the answer is
            the same for every value.

        Returns
        -------
        rows, cols : IndexMatrix
            Vectors of the input rows of each pair in this tree and in
            other, sorted by row, then column.
        distances : Array
            1-D: each pair's distance. Ready for
            scipy.sparse.coo_matrix((distances, (rows, cols))).

        Raises
        ------
        ValueError
            "max_distance must be a non-negative number, not {x}", and the
            errors of `other` as in `count_neighbors`.
        TypeError
            An `other` tree of another class.
        KeyboardInterrupt
            Ctrl-C during the call: nothing is returned.
        """

@final
class KDTree(_Tree):
    """A k-d tree: nodes split at the median of their widest dimension.

    Built only by `KDTree.from_array`; a built tree never changes, pickles
    without a rebuild, and may be queried from several threads at once.
    """
    @staticmethod
    def from_array(array: _ArrayLike, leaf_size: SupportsIndex | None = 20,
                   metric: str | Metric | None = "euclidean") -> KDTree:
        """Builds the tree over the rows of a 2-D Array, without the GIL.

        Parameters
        ----------
        array : Array or buffer of real numbers
            (n, dim) points, copied: later changes to the Array do not
            reach the tree. Answers name points by their row here.
        leaf_size : int, default 20
            Nodes of more points than this are split.
        metric : str or Metric, default "euclidean"
            "euclidean", "manhattan" or "chebyshev" (any case), or a
            `Metric` (the tree's `metric` is then that object).

        Returns
        -------
        KDTree
            The built tree.

        Raises
        ------
        ValueError
            "Unknown distance metric '{}'. Valid options: 'euclidean',
            'manhattan', 'chebyshev'". A `Metric("haversine")`: "metric: the KDTree does not
            take 'haversine' (boxes of latitudes and longitudes bound no
            great-circle distance); use BallTree or VPTree".
        PanicException
            `array` is not two-dimensional ("Expected 2D array (n_points,
            dim)").
        TypeError
            `array` is not an Array.
        OverflowError
            A negative `leaf_size`.
        KeyboardInterrupt
            Ctrl-C during the build.
        """

@final
class BallTree(_Tree):
    """A ball tree: each node a centroid and the radius that holds its points.

    Built only by `BallTree.from_array`; a built tree never changes, pickles
    without a rebuild, and may be queried from several threads at once.
    """
    @staticmethod
    def from_array(array: _ArrayLike, leaf_size: SupportsIndex | None = 20,
                   metric: str | Metric | None = "euclidean") -> BallTree:
        """Builds the tree over the rows of a 2-D Array, without the GIL.

        Parameters
        ----------
        array : Array or buffer of real numbers
            (n, dim) points, copied: later changes to the Array do not
            reach the tree. Answers name points by their row here.
        leaf_size : int, default 20
            Nodes of more points than this are split.
        metric : str or Metric, default "euclidean"
            "euclidean", "manhattan" or "chebyshev" (any case), or a
            `Metric` (the tree's `metric` is then that object).

        Returns
        -------
        BallTree
            The built tree.

        Raises
        ------
        ValueError
            "Unknown distance metric '{}'. Valid options: 'euclidean',
            'manhattan', 'chebyshev'". A `Metric("haversine")` over points of
            other than 2 coordinates: "metric: 'haversine' takes points of
            2 coordinates (latitude, longitude in radians), not {dim}".
        PanicException
            `array` is not two-dimensional ("Expected 2D array (n_points,
            dim)").
        TypeError
            `array` is not an Array.
        OverflowError
            A negative `leaf_size`.
        KeyboardInterrupt
            Ctrl-C during the build.
        """

@final
class VPTree(_Tree):
    """A vantage-point tree: nodes split by the median distance to a vantage point.

    Built only by `VPTree.from_array`; a built tree never changes, pickles
    without a rebuild, and may be queried from several threads at once.
    """
    @staticmethod
    def from_array(array: _ArrayLike, leaf_size: SupportsIndex | None = 20,
                   metric: str | Metric | None = "euclidean", selection: str | None = "first") -> VPTree:
        """Builds the tree over the rows of a 2-D Array, without the GIL.

        Parameters
        ----------
        array : Array or buffer of real numbers
            (n, dim) points, copied: later changes to the Array do not
            reach the tree. Answers name points by their row here.
        leaf_size : int, default 20
            Nodes of more points than this are split.
        metric : str or Metric, default "euclidean"
            "euclidean", "manhattan" or "chebyshev" (any case), or a
            `Metric` (the tree's `metric` is then that object).
        selection : str, default "first"
            The vantage point of each node: "first" (its first point) or
            "random" (seeded from the clock; the tree pickles as built).

        Returns
        -------
        VPTree
            The built tree.

        Raises
        ------
        ValueError
            "Unknown distance metric '{}'. Valid options: 'euclidean',
            'manhattan', 'chebyshev'" or "Unknown vantage point selection
            method '{}'. Valid options: 'first', 'random'". A `Metric("haversine")` over points of
            other than 2 coordinates: "metric: 'haversine' takes points of
            2 coordinates (latitude, longitude in radians), not {dim}".
        PanicException
            `array` is not two-dimensional ("Expected 2D array (n_points,
            dim)").
        TypeError
            `array` is not an Array.
        OverflowError
            A negative `leaf_size`.
        KeyboardInterrupt
            Ctrl-C during the build.
        """
