#!/usr/bin/env bash
# What a user pays for one track: a five-minute 44100 Hz WAV through `sonbalancer-cli --no-mp3`
# from a cold start, beside `sox in.wav out.wav norm -0.1` on the same file in the same run, taken
# in turns; the median wall times, their ratio, and the command's peak memory against the WAV.
# Usage: bench/sox_comparison.sh [RUNS]   (default 7; SONBALANCER_CLI names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
. bench/tracks.sh
make_bass_wav "$folder/in.wav"
wav_kib=$(( $(stat -c %s "$folder/in.wav") / 1024 ))

: >"$folder/cli.times"
: >"$folder/sox.times"
for _ in $(seq 1 "$runs"); do
  rm -rf "$folder/sonbalanced"
  /usr/bin/time -f "%e %M" -a -o "$folder/cli.times" "$cli" --no-mp3 -j 1 "$folder/in.wav" \
    >/dev/null 2>&1
  /usr/bin/time -f "%e %M" -a -o "$folder/sox.times" sox "$folder/in.wav" "$folder/out.wav" norm -0.1
done
cli_s=$(cut -d' ' -f1 "$folder/cli.times" | median)
sox_s=$(cut -d' ' -f1 "$folder/sox.times" | median)
cli_kib=$(cut -d' ' -f2 "$folder/cli.times" | sort -n | tail -1)
awk -v c="$cli_s" -v s="$sox_s" -v m="$cli_kib" -v w="$wav_kib" -v n="$runs" 'BEGIN {
  printf "%d runs: sonbalancer-cli %.2f s, sox %.2f s, ratio %.2f; peak memory %.1f MiB, %.2f times the WAV\n",
         n, c, s, c / s, m / 1024, m / w
}'
