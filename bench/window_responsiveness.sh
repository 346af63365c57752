#!/usr/bin/env bash
# The window through a job of one-minute tracks with MP3 on, on a private Xvfb display: pinged
# every 0.1 s as desktops ping (_NET_WM_PING) for the longest time it went without answering,
# and timed against `sonbalancer-cli -j 1` (and -j 2) on the same folder, in turns for a few
# rounds whose medians are compared; the results of both compared byte for byte. Goals: every
# answer within 0.25 s, at most 0.7 times the command's wall time.
# Usage: bench/window_responsiveness.sh [TRACKS [ROUNDS]]   (default 4 and 3; the programs from
# build/bin)
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-4}
rounds=${2:-3}
bin=${SONBALANCER_BIN:-build/bin}
cli=$bin/sonbalancer-cli
folder=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT

. bench/tracks.sh
make_tracks "$folder" "$tracks"

trap 'cleanup; rm -rf "$folder.command"' EXIT

display_file=$(mktemp)
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$display_file")" GDK_BACKEND=x11
unset WAYLAND_DISPLAY
rm -f "$display_file"

# The job has ended when every MP3 is whole (each is renamed into place once complete) and the
# output folder's lock is released, which the end of the job does.
until=()
for i in $(seq 1 "$tracks"); do until+=(--present "$folder/sonbalanced/track$i.mp3"); done
until+=(--absent "$folder/sonbalanced/.sonbalancer.lock")
# A configuration of its own: the window's first-run choices, one worker per processor.
config_home=$(mktemp -d)
trap 'cleanup; rm -rf "$folder.command" "$config_home"' EXIT
ones=() twos=() windows=() showns=() wait=0 pings=0 answered=0 same=yes
for round in $(seq 1 "$rounds"); do
  twos+=("$(seconds "$folder" --jobs 2)")
  ones+=("$(seconds "$folder" --jobs 1)")
  rm -rf "$folder.command"
  mv "$folder/sonbalanced" "$folder.command"
  ping=$(XDG_CONFIG_HOME=$config_home HOME=$config_home "$bin/window_ping" "${until[@]}" -- \
    "$bin/sonbalancer" "$folder")
  windows+=("$(awk '$1 == "seconds" { print $2 }' <<<"$ping")")
  showns+=("$(awk '$1 == "shown_seconds" { print $2 }' <<<"$ping")")
  wait=$(awk -v a="$wait" '$1 == "longest_wait_seconds" { print ($2 > a ? $2 : a) }' <<<"$ping")
  pings=$((pings + $(awk '$1 == "pings" { print $2 }' <<<"$ping")))
  answered=$((answered + $(awk '$1 == "answered" { print $2 }' <<<"$ping")))
  for result in "$folder.command"/*.wav "$folder.command"/*.mp3; do
    cmp -s "$result" "$folder/sonbalanced/$(basename "$result")" || same=no
  done
  rm -rf "$folder/sonbalanced"
done
one=$(printf '%s\n' "${ones[@]}" | median)
two=$(printf '%s\n' "${twos[@]}" | median)
window=$(printf '%s\n' "${windows[@]}" | median)
shown=$(printf '%s\n' "${showns[@]}" | median)

printf 'tracks: %d of 60 s, MP3 on, machine: %s, %d processors; medians of %d rounds\n' "$tracks" \
  "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')" "$(nproc)" "$rounds"
awk -v one="$one" -v two="$two" -v window="$window" -v shown="$shown" -v wait="$wait" -v pings="$pings" -v answered="$answered" \
    -v same="$same" 'BEGIN {
  printf "sonbalancer-cli -j 1: %.1f s; -j 2: %.1f s, %.2f of -j 1\n", one, two, two / one
  printf "window (workers: automatic): %.1f s, %.2f of the command'"'"'s time (goal: at most 0.70)\n", window, window / one
  printf "  of which the job, from the window'"'"'s showing: %.1f s, %.2f of the command'"'"'s time\n", shown, shown / one
  printf "pings: %d sent, %d answered, longest wait %.3f s (goal: at most 0.250)\n", pings, answered, wait
  printf "results the same as the command'"'"'s: %s\n", same
}'
