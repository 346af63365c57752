#!/usr/bin/env bash
# What the default job costs beside its encoder alone: a five-minute 44100 Hz WAV (a plain 44-byte
# header, as rippers write it) through `sonbalancer-cli -j 1` (the WAV result and its checked
# 128k MP3), beside `ffmpeg -i track.wav -b:a 128k bare.mp3` on the same file, taken in turns in
# one run. Prints the median CPU seconds (user + system, the children included) of each and their
# ratio, which the goal holds at 1.25 or less, with the median of the turns' own ratios beside it
# (a turn's two runs lie seconds apart, so a shared machine's slow drift in speed cancels
# there), and the decoded MP3's true peak as ffmpeg's own meter reads it, which must be
# -1.0 dBTP or less. Beside them: the encoder's command on the balanced result (at the MP3's
# level change), which the job runs in its own process with the converter's libraries instead,
# the share that the result's own sound sets whatever the rest costs; the same job without its
# MP3 (`--no-mp3`), the engine's share with its first touch of the track's memory; and the
# converter's decoding command on the MP3, which the job's check spares by decoding in its own
# process.
# Usage: bench/mp3_comparison.sh [RUNS [SOUND]]   (default 7 runs of the WAV of music-like sound;
# SOUND "bass" takes the loud bass WAV, the costliest to encode once balanced; SONBALANCER_CLI
# names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
sound=${2:-music}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
. bench/tracks.sh
if [ "$sound" = bass ]; then
  make_bass_wav "$folder/track.wav"
else
  make_music_wav "$folder/track.wav"
fi

# The level change the job gives the MP3, read from its process log.
"$cli" -j 1 --log "$folder/track.wav" >/dev/null 2>&1
cp "$folder/sonbalanced/track_eq.wav" "$folder/result.wav"
volume=$(awk '/MP3 level lowered by/ { print "-" $5 "dB" } /MP3 level raised by/ { print $5 "dB" }' \
  sonbalancer-log.txt | tail -1)
rm -f sonbalancer-log.txt
: >"$folder/cli.times"
: >"$folder/ffmpeg.times"
: >"$folder/result.times"
: >"$folder/decoding.times"
: >"$folder/plain.times"
for _ in $(seq 1 "$runs"); do
  rm -rf "$folder/sonbalanced" "$folder/bare.mp3" "$folder/result.mp3"
  cpu_seconds_of "$cli" -j 1 "$folder/track.wav" >>"$folder/cli.times"
  cpu_seconds_of ffmpeg -nostdin -loglevel error -i "$folder/track.wav" -b:a 128k \
    "$folder/bare.mp3" >>"$folder/ffmpeg.times"
  # Like the whole job, started seconds after the last job: on a virtual machine that hands
  # freed memory back to its host, both then pay the same first touch of the track's memory.
  cp "$folder/sonbalanced/track.mp3" "$folder/checked.mp3"
  rm -rf "$folder/sonbalanced"
  cpu_seconds_of "$cli" -j 1 --no-mp3 "$folder/track.wav" >>"$folder/plain.times"
  cpu_seconds_of ffmpeg -nostdin -loglevel error -i "$folder/result.wav" \
    ${volume:+-af volume=$volume} -b:a 128k "$folder/result.mp3" >>"$folder/result.times"
  cpu_seconds_of ffmpeg -nostdin -loglevel error -i "$folder/checked.mp3" -f f32le - \
    >>"$folder/decoding.times"
done
cli_s=$(median <"$folder/cli.times")
ffmpeg_s=$(median <"$folder/ffmpeg.times")
result_s=$(median <"$folder/result.times")
decoding_s=$(median <"$folder/decoding.times")
plain_s=$(median <"$folder/plain.times")
ratio=$(paste "$folder/cli.times" "$folder/ffmpeg.times" | awk '{ print $1 / $2 }' | median)
peak=$(ffmpeg -nostdin -v info -i "$folder/checked.mp3" -af ebur128=peak=true -f null - 2>&1 |
  grep -A1 'True peak' | awk '/Peak:/ { print $2 }')
awk -v s="$sound" -v c="$cli_s" -v f="$ffmpeg_s" -v r="$result_s" -v d="$decoding_s" -v e="$plain_s" -v q="$ratio" -v n="$runs" -v p="$peak" 'BEGIN {
  printf "%s WAV, %d runs: sonbalancer-cli -j 1 %.2f CPU-s, ffmpeg alone %.2f CPU-s, ratio %.2f (goal 1.25; of the turns %.2f); MP3 true peak %s dBTP (goal -1.0)\n",
         s, n, c, f, c / f, q, p
  printf "the encoder'"'"'s command on the result alone %.2f CPU-s (%.2f of ffmpeg alone); the job beyond it %.2f CPU-s (%.2f), its check of the MP3 included\n",
         r, r / f, c - r, (c - r) / f
  printf "the same job without its MP3 %.2f CPU-s (%.2f); the MP3 check beyond the encoder %.2f CPU-s (%.2f)\n",
         e, e / f, c - r - e, (c - r - e) / f
  printf "for comparison, the decoding command on the MP3, which the check no longer starts: %.2f CPU-s (%.2f)\n",
         d, d / f
}'
