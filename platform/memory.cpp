#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <limits>

namespace platform {

namespace {

constexpr std::uint64_t kHugePageBytes = std::uint64_t{2} << 20;

std::uint64_t roundedToHugePages(std::uint64_t bytes) {
  return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
}

}  // namespace

std::uint64_t physicalMemoryBytes() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageBytes = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageBytes <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageBytes);
}

void* obtainLargeBlock(std::uint64_t bytes) {
  if (bytes == 0) bytes = 1;
  if (bytes > std::numeric_limits<std::uint64_t>::max() / 2 - kHugePageBytes) return nullptr;
  const std::uint64_t blockBytes = roundedToHugePages(bytes);
  // One huge page more than needed, so that an aligned block fits; the ends are given back.
  const std::uint64_t mappedBytes = blockBytes + kHugePageBytes;
  if (mappedBytes > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return nullptr;
  }
  void* mapped = ::mmap(nullptr, static_cast<std::size_t>(mappedBytes), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::uintptr_t end = start + mappedBytes;
  const std::uintptr_t blockEnd = aligned + blockBytes;
  if (end > blockEnd) ::munmap(reinterpret_cast<void*>(blockEnd), end - blockEnd);
  void* block = reinterpret_cast<void*>(aligned);
  // Only advice: where huge pages are off the block works with small ones.
  ::madvise(block, static_cast<std::size_t>(blockBytes), MADV_HUGEPAGE);
  return block;
}

void releaseLargeBlock(void* block, std::uint64_t bytes) {
  if (block) ::munmap(block, static_cast<std::size_t>(roundedToHugePages(bytes == 0 ? 1 : bytes)));
}

}  // namespace platform
