#include "platform/beep.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace platform {

namespace {

constexpr unsigned kToneRate = 44100;
constexpr double kToneAmplitude = 0.3 * 32767.0;

// ALSA prints its own complaints to standard error when there is no device; the beep's
// fallback already covers that case, so they are kept quiet.
void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool beep(int frequencyHz, int durationMs) {
  if (frequencyHz <= 0 || durationMs <= 0) return true;
  snd_lib_error_set_handler(quietAlsaErrors);

  snd_pcm_t* pcm = nullptr;
  // Opened non-blocking so that a busy or missing device fails at once instead of waiting.
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kToneRate, 1,
                         100000) < 0) {
    snd_pcm_close(pcm);
    return false;
  }
  snd_pcm_nonblock(pcm, 0);

  const std::size_t frames = static_cast<std::size_t>(kToneRate) * durationMs / 1000;
  std::vector<std::int16_t> tone(frames);
  const std::size_t ramp = kToneRate / 200;  // 5 ms in and out, so the tone does not click
  for (std::size_t i = 0; i < frames; ++i) {
    double envelope = 1.0;
    if (i < ramp) envelope = static_cast<double>(i) / ramp;
    if (frames - i < ramp) envelope = static_cast<double>(frames - i) / ramp;
    tone[i] = static_cast<std::int16_t>(kToneAmplitude * envelope *
                                        std::sin(2.0 * M_PI * frequencyHz * i / kToneRate));
  }

  bool played = true;
  std::size_t done = 0;
  while (done < frames) {
    snd_pcm_sframes_t written = snd_pcm_writei(pcm, tone.data() + done, frames - done);
    if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
    if (written < 0) {
      played = false;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  if (played) snd_pcm_drain(pcm);
  snd_pcm_close(pcm);
  return played;
}

}  // namespace platform
