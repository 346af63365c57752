#!/usr/bin/env bash
# The loudness target over a set of 30 music-like tracks of every level and crest factor, as
# ffmpeg's own meter (ebur128=peak=true, 192 kHz true peak) reads the results: at each target,
# how many WAVs and MP3s land within 0.5 LU, their spread, their highest true peak, the change
# of loudness range against the results made without a target, and how far a second run at the
# same target moves them.
# Usage: bench/loudness_target.sh [SECONDS]   (each track's length, default 30; SONBALANCER_CLI
# names the command)
set -euo pipefail
cd "$(dirname "$0")/.."
length=${1:-30}
cli=${SONBALANCER_CLI:-build/bin/sonbalancer-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. bench/tracks.sh
make_varied_tracks "$work/set" 30 "$length"

# run NAME ARGUMENTS...: the command over a copy of the set; its results stay in $work/NAME.
run() {
  local name=$1
  shift
  cp -r "$work/set" "$work/$name"
  "$cli" --jobs "$(nproc)" "$@" "$work/$name" >/dev/null 2>&1 || true
}

run plain
for target in -16 -14; do
  run "at$target" --loudness-target "$target"
  # The WAVs made at the target, processed again at the same target.
  mkdir -p "$work/again$target"
  cp "$work/at$target"/sonbalanced/*_eq.wav "$work/again$target/"
  "$cli" --jobs "$(nproc)" --no-mp3 --loudness-target "$target" "$work/again$target" \
    >/dev/null 2>&1 || true
done

printf 'tracks: 30 of %d s, synthesised (bench/tracks.sh make_varied_tracks)\n' "$length"
printf 'sources: %s\n' "$(for f in "$work"/set/*.wav; do ebur128_figures "$f"; done |
  awk '{ if (NR == 1 || $1 < lo) lo = $1; if (NR == 1 || $1 > hi) hi = $1 }
       END { printf "%.1f to %.1f LUFS", lo, hi }')"
for target in -16 -14; do
  results="$work/at$target/sonbalanced"
  for f in "$work"/set/*.wav; do
    name=$(basename "$f" .wav)
    echo "$name $(ebur128_figures "$results/${name}_eq.wav") $(ebur128_figures "$results/$name.mp3")" \
      "$(ebur128_figures "$work/plain/sonbalanced/${name}_eq.wav")" \
      "$(ebur128_figures "$work/again$target/sonbalanced/${name}_eq_eq.wav")"
  done >"$work/figures$target"
  # Every track's figures on standard error, for a closer look.
  sed "s/^/$target: /" "$work/figures$target" >&2
  # Columns: name, then loudness, range and true peak of the WAV, the MP3, the result without
  # a target and the WAV processed again.
  awk -v t="$target" '
    function within(x) { return (x - t <= 0.5 && t - x <= 0.5) }
    { n++; w = $2; m = $5; sw += w; ssw += w * w; sm += m; ssm += m * m
      if (n == 1 || w < wlo) wlo = w; if (n == 1 || w > whi) whi = w
      if (n == 1 || m < mlo) mlo = m; if (n == 1 || m > mhi) mhi = m
      inw += within(w); inm += within(m)
      if (n == 1 || $4 > wpeak) wpeak = $4; if (n == 1 || $7 > mpeak) mpeak = $7
      lra += $3 - $9; d = $11 - w; if (d < 0) d = -d; if (d > again) again = d
      md = m - w; if (md < 0) md = -md; if (md > mp3off) mp3off = md; smd += m - w }
    END {
      printf "target %d LUFS:\n", t
      printf "  WAV within 0.5 LU: %d/%d (%.2f to %.2f LUFS), spread %.2f LU (sd), highest true peak %.2f dBTP\n",
             inw, n, wlo, whi, sqrt(ssw / n - (sw / n) ^ 2), wpeak
      printf "  MP3 within 0.5 LU: %d/%d (%.2f to %.2f LUFS), spread %.2f LU (sd), highest true peak %.2f dBTP\n",
             inm, n, mlo, mhi, sqrt(ssm / n - (sm / n) ^ 2), mpeak
      printf "  MP3 minus WAV: mean %+.2f LU, largest %.2f LU\n", smd / n, mp3off
      printf "  loudness range against no target: mean change %+.2f LU\n", lra / n
      printf "  processed again at the target: largest move %.2f LU\n", again
    }' "$work/figures$target"
done
