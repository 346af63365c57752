// The MP3 step of a track: the encoder's arguments (its rate, the level lowered so that the
// decoded MP3 keeps its true peak under the ceiling), the encoding under a temporary name, the
// tag written into it, the checks that the MP3 is whole and within its ceiling, and its log lines.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/process_log.h"
#include "loudness/album_loudness.h"
#include "media/converter_progress.h"
#include "media/encoder_aim.h"
#include "media/system_services.h"
#include "media/track_identity.h"

namespace media {

// The constant rate "same" stands for: an MP3 source's rate (a variable one's average, rounded
// up to the next standard rate), 320 kbit/s for any other source.
int sameRateKbps(const std::string& sourcePath);

// How much lower an MP3 must be than its WAV of this true peak, in dB (0 or below), rounded
// down to the hundredth so that loudness::kTruePeakCeilingDbtp holds.
double gainForTruePeak(double truePeakDbtp);

enum class Mp3Outcome { Whole, Failed, Stopped };

struct Mp3Result {
  Mp3Outcome outcome = Mp3Outcome::Failed;
  // The level change of the MP3 kept, in dB (0 or below, but for a loudness target).
  double gainDb = 0.0;
  // With Mp3Request::replayGain, the decoded MP3's loudness once its track tags are written (kept
  // for the album's); null otherwise.
  std::shared_ptr<loudness::AlbumMeter> programme;
  // The kept MP3 as decoded: its true peak in dBTP, and its integrated loudness in LUFS when it
  // was measured (with replayGain or a loudness target).
  std::optional<double> decodedTruePeakDbtp;
  std::optional<double> decodedLufs;
};

struct Mp3Request {
  std::string wavPath;
  std::string mp3Path;
  // Where the temporary MP3 is written, beside mp3Path.
  std::string partialMp3Path;
  // What of the source the MP3's tag carries; null or empty for an untagged MP3.
  const TrackIdentity* identity = nullptr;
  Mp3Rate rate;
  // The decoded MP3's true peak is wanted whole (for the report), not only against the ceiling.
  bool exactDecodedPeak = false;
  // The saved result's frames, and its true peak, measured once for every step that needs it.
  std::uint64_t frames = 0;
  double wavTruePeakDbtp = 0.0;
  // The MP3 gets ReplayGain track tags measured on its decoded audio.
  bool replayGain = false;
  // The WAV was matched to this loudness: the MP3, which the encoder leaves a little quieter,
  // is encoded again toward it: from the copies that aimedSource makes when it is given (see
  // media/encoder_aim.h), otherwise raised by a level change as far as the ceiling allows.
  std::optional<double> loudnessTargetLufs;
  // Told the seconds of audio each encoding has written so far, as the encoder reports them;
  // each encoding after the first starts again from 0. May be empty.
  ProgressHandler encodingProgress;
  AimedSourceMaker aimedSource;
  // The saved result's integrated loudness in LUFS, as this layer measures it (with
  // aimedSource).
  double wavLufs = 0.0;
};

// Encodes the result to its MP3 and logs the outcome after "MP3 re-encoding was
// requested... ": "OK" (with a line for a lowered level and one when the tags could not be
// carried) or "Failed ! This should not happen...". The MP3 takes its name only when whole
// and within the ceiling (it is encoded again, lower, when the encoder overshoots); an earlier
// MP3 of that name survives any failure. Its tag, the identity's and with replayGain its track
// tags ("ReplayGain of the MP3: track gain -3.52 dB, peak 0.891251"), is written into it in
// place; when the MP3 is not whole after that, it is encoded once more and kept without them
// ("The ReplayGain tags could not be written into the MP3"). With loudnessTargetLufs it may
// be raised ("MP3 level raised by 0.45 dB to keep the loudness target"); with aimedSource it
// may be encoded from a copy ("MP3 encoded from a copy matched to -13.42 LUFS under -2.05 dBTP,
// peaks limited by up to 4.20 dB, for the encoder's loss of loudness and its overshoot"), and
// one that stays short says so ("MP3 0.62 LU short of the target for a true peak of at most
// -1.0 dBTP"). Stopped when the job is asked to stop; nothing is then logged and nothing of
// the encoding is left.
Mp3Result encodeMp3(const Mp3Request& request, SystemServices& system, engine::ProcessLog& log);

}  // namespace media
