// A window for the batch tests: check boxes set by the test, and a record of everything the
// batch controller did to the window, in order.
#pragma once

#include <string>
#include <vector>

#include "batch/job_window.h"

namespace testing_support {

class FakeWindow : public batch::JobWindow {
 public:
  // Check boxes, with the window's initial states.
  bool logBox = false;
  bool mp3Box = true;
  bool mp3At192kBox = false;
  bool noBasslineBox = false;
  bool ignoreClicksBox = false;

  // What was shown.
  int fileGauge = 0;
  int globalGauge = 0;
  wxString currentFileText = "FILE IN PROCESS";
  wxString stateText = "READY";
  bool timerRunning = false;
  int timerIntervalMs = 0;
  int beeps = 0;
  // Every call, as a short line ("fileGaugeStep 25 100", "stateText RUNNING", ...).
  std::vector<std::string> events;
  // The values the global gauge took, in order.
  std::vector<int> globalGaugeValues;
  // The notices, in order.
  std::vector<std::string> notices;

  bool logBoxTicked() override { return logBox; }
  bool mp3BoxTicked() override { return mp3Box; }
  bool mp3At192kTicked() override { return mp3At192kBox; }
  bool noBasslineTicked() override { return noBasslineBox; }
  bool ignoreClicksTicked() override { return ignoreClicksBox; }

  void fileGaugeStep(int percent, int pauseMs) override;
  void setFileGauge(int percent) override;
  void setGlobalGauge(int percent) override;
  void setCurrentFileText(const wxString& text) override;
  void setStateText(const wxString& text) override;
  void startTimer(int intervalMs) override;
  void stopTimer() override;
  void beep(int frequencyHz, int durationMs) override;
  void notice(const wxString& text) override;
};

}  // namespace testing_support
