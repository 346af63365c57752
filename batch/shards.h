// How a list of entries is split into shards that run at the same time: by whole output
// folders, so that no two shards meet in a folder and an album is measured whole by one of
// them, and by the audio each folder holds, so that the shards take about as long.
#pragma once

#include <cstdint>
#include <vector>

namespace batch {

// The shard, counted from 1, of each of the folders whose entries hold folderBytes (in list
// order of the folders' first entries). The folders are taken largest first (equal sizes: the
// one listed first), each given to the shard holding the fewest bytes so far (equal: the lowest
// shard). The same list gives the same split on every machine. shardCount is at least 1.
std::vector<std::uint32_t> dealFoldersToShards(const std::vector<std::uint64_t>& folderBytes,
                                               std::uint32_t shardCount);

}  // namespace batch
