#!/usr/bin/env bash
# The headless command over a folder of one-minute tracks with MP3 encoding on, once with one
# worker and once with as many workers as processors: wall time of each and the speed-up.
# Usage: bench/library_benchmark.sh [TRACKS]   (default 8; SONBALANCER_CLI names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-8}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
workers=$(nproc)
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

. bench/tracks.sh
make_tracks "$folder" "$tracks"

one=$(seconds "$folder" --jobs 1)
all=$(seconds "$folder" --jobs "$workers")
printf 'tracks: %d of 60 s, MP3 on, machine: %s, %d processors\n' "$tracks" \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')" "$workers"
awk -v n="$tracks" -v one="$one" -v all="$all" -v w="$workers" 'BEGIN {
  printf "--jobs 1: %.1f s (%.1f tracks a minute)\n", one, n * 60 / one
  printf "--jobs %d: %.1f s (%.1f tracks a minute)\n", w, all, n * 60 / all
  printf "speed-up: %.2f\n", one / all
}'
