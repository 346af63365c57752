// The scan's block of the process log: the quasi-peaks, then the peaks, of every band of both
// channels, the right channel first.
#pragma once

#include "engine/band_peaks.h"
#include "engine/process_log.h"

namespace engine {

void writeScanLog(const ScanRecord& record, ProcessLog& log);

}  // namespace engine
