#!/usr/bin/env bash
# What the default job costs beside its encoder alone: a five-minute 44100 Hz WAV (a plain 44-byte
# header, as rippers write it) through `sonbalancer-cli -j 1` (the WAV result and its checked
# 128k MP3), beside `ffmpeg -i track.wav -b:a 128k bare.mp3` on the same file, taken in turns in
# one run. Prints the median CPU seconds (user + system, the children included) of each and their
# ratio, which the goal holds at 1.25 or less, and the decoded MP3's true peak as ffmpeg's own
# meter reads it, which must be -1.0 dBTP or less.
# Usage: bench/mp3_comparison.sh [RUNS]   (default 7; SONBALANCER_CLI names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
# A loud triangle bass under a faint treble and hiss, which calls for the second pass and for a
# lower MP3.
ffmpeg -nostdin -loglevel error -f lavfi -i "aevalsrc='0.5*asin(sin(2*PI*110*t))*2/PI+0.01*sin(2*PI*3000*t)+0.004*(random(0)-0.5)|0.25*asin(sin(2*PI*110*t))*2/PI-0.02*sin(2*PI*3000*t)+0.004*(random(1)-0.5)':s=44100:d=300" \
  -fflags +bitexact -flags +bitexact -c:a pcm_s16le "$folder/track.wav"

: >"$folder/cli.times"
: >"$folder/ffmpeg.times"
for _ in $(seq 1 "$runs"); do
  rm -rf "$folder/sonbalanced" "$folder/bare.mp3"
  /usr/bin/time -f "%U %S" -a -o "$folder/cli.times" "$cli" -j 1 "$folder/track.wav" >/dev/null 2>&1
  /usr/bin/time -f "%U %S" -a -o "$folder/ffmpeg.times" \
    ffmpeg -nostdin -loglevel error -i "$folder/track.wav" -b:a 128k "$folder/bare.mp3"
done
median() { awk '{ print $1 + $2 }' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cli_s=$(median <"$folder/cli.times")
ffmpeg_s=$(median <"$folder/ffmpeg.times")
peak=$(ffmpeg -nostdin -v info -i "$folder/sonbalanced/track.mp3" -af ebur128=peak=true -f null - 2>&1 |
  grep -A1 'True peak' | awk '/Peak:/ { print $2 }')
awk -v c="$cli_s" -v f="$ffmpeg_s" -v n="$runs" -v p="$peak" 'BEGIN {
  printf "%d runs: sonbalancer-cli -j 1 %.2f CPU-s, ffmpeg alone %.2f CPU-s, ratio %.2f (goal 1.25); MP3 true peak %s dBTP (goal -1.0)\n",
         n, c, f, c / f, p
}'
