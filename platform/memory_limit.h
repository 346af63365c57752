// How much memory this process may take: the limits of the memory cgroups it is in and the
// memory the system says is still available.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The smallest memory limit on the cgroups the process is in, read for each cgroup named in
// procSelfCgroup (the text of /proc/self/cgroup) and each of its ancestors under cgroupRoot:
// version 2 memory.max (in cgroupRoot or cgroupRoot/unified; "max" is no limit) and version 1
// memory.limit_in_bytes (in cgroupRoot/memory). 0 when no limit is set or none can be read.
std::uint64_t cgroupMemoryLimitBytes(const std::string& procSelfCgroup,
                                     const std::string& cgroupRoot);

// MemAvailable of a /proc/meminfo text, in bytes; 0 when it is missing.
std::uint64_t availableMemoryBytes(const std::string& meminfo);

// The smaller of this process's cgroup limit and the memory available now; where neither is
// known, the machine's physical memory; 0 when nothing is known.
std::uint64_t memoryAllowedBytes();

}  // namespace platform
