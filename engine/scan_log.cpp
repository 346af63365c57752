#include "engine/scan_log.h"

namespace engine {

namespace {

void writeBandLine(ProcessLog& log, const char* format, const BandPeaks& right,
                   const BandPeaks& left, bool quasiPeaks) {
  if (quasiPeaks) {
    log.print(format, right.quasiPeakMin, right.quasiPeakMax, left.quasiPeakMin, left.quasiPeakMax);
  } else {
    log.print(format, right.peakMin, right.peakMax, left.peakMin, left.peakMax);
  }
}

}  // namespace

void writeScanLog(const ScanRecord& record, ProcessLog& log) {
  if (!log.isOn()) return;
  for (const bool quasiPeaks : {true, false}) {
    log.write(quasiPeaks ? "Monitored quasi-peaks:\n" : "Monitored peaks:\n");
    writeBandLine(log, "LF: R = %d %d -- L = %d %d\n", record.right.low, record.left.low,
                  quasiPeaks);
    writeBandLine(log, "MF: R = %d %d -- L = %d %d\n", record.right.middle, record.left.middle,
                  quasiPeaks);
    writeBandLine(log, "HF: R = %d %d -- L = %d %d\n\n", record.right.high, record.left.high,
                  quasiPeaks);
  }
}

}  // namespace engine
