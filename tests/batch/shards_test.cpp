#include "batch/shards.h"

#include <gtest/gtest.h>

namespace {

TEST(Shards, LargestFolderFirstToTheLightestShardWithTiesToTheFirst) {
  // Taken as 9 (2nd), 9 (5th), 5 (1st), 5 (3rd), 2, 1: shards end at 11, 10 and 10 bytes.
  EXPECT_EQ(batch::dealFoldersToShards({5, 9, 5, 1, 9, 2}, 3),
            (std::vector<std::uint32_t>{3, 1, 3, 2, 2, 1}));
  // More shards than folders: the last ones get nothing.
  EXPECT_EQ(batch::dealFoldersToShards({3, 7}, 1000000000), (std::vector<std::uint32_t>{2, 1}));
  EXPECT_EQ(batch::dealFoldersToShards({3, 7}, 1), (std::vector<std::uint32_t>{1, 1}));
}

}  // namespace
