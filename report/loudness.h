// Loudness and peak measurement of 44100 Hz stereo audio through libebur128: the true
// (inter-sample) peak that keeps an MP3 from clipping when it is decoded, and the figures
// that a report gives of a track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace report {

// libebur128's state, whose C type cannot be declared ahead.
struct MeterState;

// Decibels of an amplitude relative to full scale; -infinity for silence.
double decibels(double amplitude);

// Feeds audio of two interleaved channels at 44100 Hz and gives its true peak, the largest of
// both channels after fourfold oversampling, relative to full scale (1.0 for float samples,
// 32768 for 16-bit ones).
class TruePeakMeter {
 public:
  TruePeakMeter();
  ~TruePeakMeter();
  TruePeakMeter(const TruePeakMeter&) = delete;
  TruePeakMeter& operator=(const TruePeakMeter&) = delete;

  // False when libebur128 could not be set up; the meter then measures nothing.
  bool ready() const;
  void addPcm16(const std::int16_t* samples, std::size_t frames);
  void addFloat(const float* samples, std::size_t frames);
  // In dBTP; -infinity when nothing was measured.
  double truePeakDbtp() const;

 private:
  std::unique_ptr<MeterState> state_;
};

// Feeds audio of two interleaved channels at 44100 Hz and gives its integrated loudness and
// true peak; several meters together give the loudness of their audio as one programme (an
// album). Its memory stays small whatever the length fed, so a job can keep one per track.
class LoudnessMeter {
 public:
  LoudnessMeter();
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // False when libebur128 could not be set up; the meter then measures nothing.
  bool ready() const;
  void addFloat(const float* samples, std::size_t frames);
  // In LUFS; -infinity for silence or when nothing was measured.
  double integratedLufs() const;
  // In dBTP; -infinity when nothing was measured.
  double truePeakDbtp() const;

 private:
  friend double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters);
  std::unique_ptr<MeterState> state_;
};

// The integrated loudness in LUFS of the audio of all meters as one programme; -infinity
// when there is none, or it is silent. Meters that are not ready are left out.
double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters);

// The true peak of little-endian 16-bit stereo PCM bytes (a whole number of 4-byte frames
// is read; a cut last frame is left out).
double truePeakDbtpOfPcm16(const std::uint8_t* bytes, std::size_t byteCount);

}  // namespace report
