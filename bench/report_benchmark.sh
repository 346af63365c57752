#!/usr/bin/env bash
# What the job's report costs: the headless command over a folder of one-minute tracks at one
# worker without MP3s, plain and with --report, run in turns so that both meet the same load;
# the median CPU time of each over the rounds (user + system, the converter's included), which
# a busy moment of a shared machine does not sway, and their ratio.
# Usage: bench/report_benchmark.sh [TRACKS [ROUNDS]]   (default 8 and 5; SONBALANCER_CLI names
# the command). TRACKS "wav" takes the five-minute WAV of bench/mp3_comparison.sh instead, which
# the plain job reads with no converter, and "music" a five-minute WAV of music-like sound.
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-8}
rounds=${2:-5}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder" "$folder.report" "$folder.plain" "$folder.reported"' EXIT
. bench/tracks.sh
if [ "$tracks" = wav ]; then
  make_bass_wav "$folder/track.wav"
  material="one five-minute WAV"
elif [ "$tracks" = music ]; then
  make_music_wav "$folder/track.wav"
  material="one five-minute WAV of music-like sound"
else
  make_tracks "$folder" "$tracks"
  material="$tracks one-minute MP3 tracks"
fi

# cpu_seconds ARGUMENTS...: user + system seconds of one run over the folder, children included.
cpu_seconds() {
  rm -rf "$folder/sonbalanced" "$folder.report"
  cpu_seconds_of "$cli" "$@" "$folder"
}

for _ in $(seq 1 "$rounds"); do
  cpu_seconds --jobs 1 --no-mp3 >>"$folder.plain"
  cpu_seconds --jobs 1 --no-mp3 --report "$folder.report" >>"$folder.reported"
done
awk -v p="$(median <"$folder.plain")" -v r="$(median <"$folder.reported")" -v n="$material" \
  -v k="$rounds" 'BEGIN {
  printf "%s, %d rounds, median CPU seconds: --no-mp3 %.3f, with --report %.3f, ratio %.2f\n",
    n, k, p, r, r / p
}'
