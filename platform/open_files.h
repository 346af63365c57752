// How many files the process may hold open at once.
#pragma once

namespace platform {

// Raises the process's soft limit on open files toward its hard limit, up to 65536. A job holds
// the lock of each output folder it writes until it ends, so a library of more albums than the
// usual soft limit of 1024 would otherwise fail every album after that many.
void allowOpenFilesForALibrary();

}  // namespace platform
