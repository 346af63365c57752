#!/usr/bin/env bash
# The MP3 encoder's cost and result at each of LAME's algorithm qualities, on one five-minute
# track of music-like sound at 128 kbit/s, taken in turns: median CPU time (user + system) of
# each quality against the quality the program names (3), and the decoded MP3's difference from
# its WAV in dB below the WAV's level (higher is closer).
# Usage: bench/encoder_quality.sh [RUNS]   (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/tracks.sh
runs=${1:-3}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=110:duration=300" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=300:seed=3" \
  -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 \
  -c:a pcm_s16le "$folder/track.wav"
qualities="0 2 3 5 7"
for _ in $(seq 1 "$runs"); do
  for q in $qualities; do
    /usr/bin/time -f "%U %S" -a -o "$folder/q$q.times" ffmpeg -nostdin -loglevel error -y \
      -i "$folder/track.wav" -compression_level "$q" -f mp3 -ab 128k "$folder/q$q.mp3"
  done
done
# How far the difference between the decoded MP3 and the WAV lies below the WAV, in dB,
# through ffmpeg's own meters.
closeness() {
  local rms diff
  rms=$(ffmpeg -nostdin -i "$folder/track.wav" -af astats=measure_overall=RMS_level:measure_perchannel=none \
    -f null - 2>&1 | awk '/RMS level dB/ { v = $NF } END { print v }')
  # The decoder drops the encoder's delay, so the two line up sample for sample.
  diff=$(ffmpeg -nostdin -i "$folder/track.wav" -i "$1" -filter_complex \
    "[0][1]amerge=inputs=2,pan=stereo|c0=c0-c2|c1=c1-c3,astats=measure_overall=RMS_level:measure_perchannel=none" \
    -f null - 2>&1 | awk '/RMS level dB/ { v = $NF } END { print v }')
  awk -v r="$rms" -v d="$diff" 'BEGIN { printf "%.1f", r - d }'
}
base=$(awk '{ print $1 + $2 }' "$folder/q3.times" | median)
for q in $qualities; do
  cpu=$(awk '{ print $1 + $2 }' "$folder/q$q.times" | median)
  awk -v q="$q" -v c="$cpu" -v b="$base" -v d="$(closeness "$folder/q$q.mp3")" 'BEGIN {
    printf "quality %d: %.2f CPU-s, %.2f times quality 3, its error %s dB below the music\n", q, c, c / b, d
  }'
done
