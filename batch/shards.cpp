#include "batch/shards.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <queue>
#include <utility>

namespace batch {

std::vector<std::uint32_t> dealFoldersToShards(const std::vector<std::uint64_t>& folderBytes,
                                               std::uint32_t shardCount) {
  std::vector<std::size_t> order(folderBytes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return folderBytes[a] > folderBytes[b];
  });
  // Bytes so far and shard, lightest on top; equal bytes put the lower shard on top. Shards
  // beyond the number of folders would stay empty, so they are not made.
  using Load = std::pair<std::uint64_t, std::uint32_t>;
  std::priority_queue<Load, std::vector<Load>, std::greater<Load>> shards;
  const std::uint64_t used = std::min<std::uint64_t>(std::max<std::uint32_t>(shardCount, 1),
                                                     std::max<std::size_t>(folderBytes.size(), 1));
  for (std::uint32_t shard = 1; shard <= used; ++shard) shards.emplace(0, shard);
  std::vector<std::uint32_t> shardOfFolder(folderBytes.size(), 1);
  for (const std::size_t folder : order) {
    Load lightest = shards.top();
    shards.pop();
    shardOfFolder[folder] = lightest.second;
    lightest.first += folderBytes[folder];
    shards.push(lightest);
  }
  return shardOfFolder;
}

}  // namespace batch
