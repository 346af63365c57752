#!/usr/bin/env bash
# What the job's report costs: the headless command over a folder of one-minute tracks at one
# worker without MP3s, plain and with --report, run in turns so that both meet the same load;
# the CPU time of each (user + system, the converter's included) and their ratio.
# Usage: bench/report_benchmark.sh [TRACKS [ROUNDS]]   (default 8 and 3; SONBALANCER_CLI names
# the command). TRACKS "wav" takes the five-minute WAV of bench/mp3_comparison.sh instead, which
# the plain job reads with no converter.
set -euo pipefail
cd "$(dirname "$0")/.."
tracks=${1:-8}
rounds=${2:-3}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
folder=$(mktemp -d)
trap 'rm -rf "$folder" "$folder.report" "$folder.time"' EXIT
. bench/tracks.sh
if [ "$tracks" = wav ]; then
  make_bass_wav "$folder/track.wav"
  material="one five-minute WAV"
else
  make_tracks "$folder" "$tracks"
  material="$tracks one-minute MP3 tracks"
fi

# cpu_seconds ARGUMENTS...: user + system seconds of one run over the folder, children included.
cpu_seconds() {
  rm -rf "$folder/sonbalanced" "$folder.report"
  /usr/bin/time -f "%U %S" -o "$folder.time" "$cli" "$@" "$folder" >/dev/null 2>&1 || true
  awk '{ print $1 + $2 }' "$folder.time"
}

plain=0
reported=0
for round in $(seq 1 "$rounds"); do
  plain=$(awk -v a="$plain" -v b="$(cpu_seconds --jobs 1 --no-mp3)" 'BEGIN { print a + b }')
  reported=$(awk -v a="$reported" -v b="$(cpu_seconds --jobs 1 --no-mp3 --report "$folder.report")" \
    'BEGIN { print a + b }')
done
awk -v p="$plain" -v r="$reported" -v n="$material" -v k="$rounds" 'BEGIN {
  printf "%s, %d rounds, CPU seconds a round: --no-mp3 %.2f, with --report %.2f, ratio %.2f\n",
    n, k, p / k, r / k, r / p
}'
