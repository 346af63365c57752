#!/usr/bin/env bash
# What the job's report costs: the headless command over a folder of one-minute tracks at one
# worker, with and without --report, with MP3 encoding on and off; the times and their ratio.
# Usage: bench/report_benchmark.sh [TRACKS]   (default 8; SONBALANCER_CLI names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-8}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder" "$folder.report"' EXIT
. bench/tracks.sh
make_tracks "$folder" "$tracks"

for mp3 in on off; do
  options=(--jobs 1)
  [ "$mp3" = off ] && options+=(--no-mp3)
  plain=$(seconds "$folder" "${options[@]}")
  reported=$(seconds "$folder" "${options[@]}" --report "$folder.report")
  awk -v m="$mp3" -v p="$plain" -v r="$reported" -v n="$tracks" 'BEGIN {
    printf "MP3 %s, %d tracks: without --report %.1f s, with %.1f s, ratio %.2f\n", m, n, p, r, r / p
  }'
done
