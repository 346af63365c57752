#include "platform/memory_limit.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.h"

namespace {

using testing_support::TempFolder;
using testing_support::writeFile;

TEST(MemoryLimit, TightestCgroupLimitFromOwnCgroupUpAndAvailableMemory) {
  TempFolder root;
  std::filesystem::create_directories(root / "job/step");
  std::filesystem::create_directories(root / "memory/slurm/uid");
  // Version 2: the own cgroup sets none, its parent does.
  writeFile(root / "job/step/memory.max", "max\n");
  writeFile(root / "job/memory.max", "3000000000\n");
  EXPECT_EQ(platform::cgroupMemoryLimitBytes("0::/job/step\n", root.path().string()), 3'000'000'000u);
  EXPECT_EQ(platform::cgroupMemoryLimitBytes("0::/job\n", root.path().string()), 3'000'000'000u);
  EXPECT_EQ(platform::cgroupMemoryLimitBytes("0::/elsewhere\n", root.path().string()), 0u);

  // Version 1 beside it: its memory hierarchy's limit counts too, "unlimited" being huge.
  writeFile(root / "memory/memory.limit_in_bytes", "9223372036854771712\n");
  writeFile(root / "memory/slurm/uid/memory.limit_in_bytes", "2147483648\n");
  EXPECT_EQ(platform::cgroupMemoryLimitBytes("5:cpu,memory:/slurm/uid\n1:cpu:/x\n0::/job/step\n",
                                             root.path().string()),
            2'147'483'648u);
  EXPECT_EQ(platform::cgroupMemoryLimitBytes("5:cpu:/slurm/uid\n", root.path().string()), 0u);

  EXPECT_EQ(platform::availableMemoryBytes("MemTotal: 24683716 kB\nMemAvailable:   23094860 kB\n"),
            23'094'860ull * 1024);
  EXPECT_EQ(platform::availableMemoryBytes("MemTotal: 24683716 kB\n"), 0u);
  EXPECT_GT(platform::memoryAllowedBytes(), 0u);
}

}  // namespace
