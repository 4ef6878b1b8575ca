// An order of a batch's queries in which neighbours in space are mostly
// neighbours in the order (a Morton curve), so that consecutive searches
// touch the same nodes and points while they are still in cache. Answers
// are written to each query's own row: the order changes no answer.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaron::spatial {

// Batches are ordered a block of this many queries at a time, so that the
// order costs a fixed amount of memory however large the batch.
constexpr std::uint64_t kOrderedBlock = std::uint64_t{1} << 16;

// Query indices 0..m-1 (rows of `dim` values) along the curve, into
// `order`; identity order for small batches, where sorting would not pay.
void locality_order(const double* queries, std::uint64_t m, std::uint64_t dim, std::vector<std::uint64_t>& order);

}  // namespace tessaron::spatial
