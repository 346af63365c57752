#include "tests/batch/fake_window.h"

namespace testing_support {

void FakeWindow::fileGaugeStep(int percent, int pauseMs) {
  fileGauge = percent;
  events.push_back("fileGaugeStep " + std::to_string(percent) + " " + std::to_string(pauseMs));
}

void FakeWindow::setFileGauge(int percent) {
  fileGauge = percent;
  events.push_back("fileGauge " + std::to_string(percent));
}

void FakeWindow::setGlobalGauge(int percent) {
  globalGauge = percent;
  globalGaugeValues.push_back(percent);
  events.push_back("globalGauge " + std::to_string(percent));
}

void FakeWindow::setCurrentFileText(const wxString& text) {
  currentFileText = text;
  events.push_back("currentFileText " + text.utf8_string());
}

void FakeWindow::setStateText(const wxString& text) {
  stateText = text;
  events.push_back("stateText " + text.utf8_string());
}

void FakeWindow::startTimer(int intervalMs) {
  timerRunning = true;
  timerIntervalMs = intervalMs;
  events.push_back("startTimer " + std::to_string(intervalMs));
}

void FakeWindow::stopTimer() {
  timerRunning = false;
  events.push_back("stopTimer");
}

void FakeWindow::beep(int frequencyHz, int durationMs) {
  ++beeps;
  events.push_back("beep " + std::to_string(frequencyHz) + " " + std::to_string(durationMs));
}

void FakeWindow::notice(const wxString& text) { notices.push_back(text.utf8_string()); }

}  // namespace testing_support
