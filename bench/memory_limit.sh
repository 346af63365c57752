#!/usr/bin/env bash
# Long tracks under a memory limit: two long 44100 Hz WAVs at `-j 2` in a memory cgroup made for
# the run, once with the job's own budget and once with it lifted (`--memory 100G`), as the
# program was before it had one; for each the exit status, the wall time and the command's peak
# resident memory (the cgroup's own peak counts the page cache, which the kernel reclaims).
# Needs root and a writable cgroup file system (version 1 memory or version 2).
# Usage: bench/memory_limit.sh [LIMIT_MIB [DATA_MIB]]   (default 600 and 112; SONBALANCER_CLI)
set -euo pipefail
cd "$(dirname "$0")/.."
limit_mib=${1:-600}
data_mib=${2:-112}
cli=$(realpath "${SONBALANCER_CLI:-build/bin/sonbalancer-cli}")
folder=$(mktemp -d)
own=$(sed -n 's/^[0-9]*:[^:]*\bmemory\b[^:]*://p' /proc/self/cgroup)
if [ -n "$own" ]; then
  cgroup=/sys/fs/cgroup/memory$own/sonbalancer-bench-$$ limit_file=memory.limit_in_bytes
else
  cgroup=/sys/fs/cgroup$(sed -n 's/^0:://p' /proc/self/cgroup)/sonbalancer-bench-$$
  limit_file=memory.max
fi
mkdir "$cgroup"
trap 'rmdir "$cgroup"; rm -rf "$folder"' EXIT
echo $((limit_mib << 20)) >"$cgroup/$limit_file"

mkdir "$folder/music"
for n in 1 2; do
  ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((220 * n)):duration=1" -ac 2 \
    -c:a pcm_s16le "$folder/music/long$n.wav"
  truncate -s $((44 + (data_mib << 20))) "$folder/music/long$n.wav"
done
for budget in own lifted; do
  rm -rf "$folder/music/sonbalanced"
  memory=()
  [ "$budget" = lifted ] && memory=(--memory 100G)
  start=$(date +%s.%N)
  status=0
  sh -c 'echo $$ >"$0/cgroup.procs" && exec "$@"' "$cgroup" /usr/bin/time -f %M -o "$folder/rss" \
    "$cli" --no-mp3 -j 2 "${memory[@]}" "$folder/music" 2>/dev/null || status=$?
  awk -v b="$budget" -v s="$status" -v t0="$start" -v t1="$(date +%s.%N)" \
      -v p="$(tail -1 "$folder/rss")" -v l="$limit_mib" -v d="$data_mib" 'BEGIN {
    printf "%s budget: exit %d in %.1f s, peak resident %.0f MiB under a %d MiB limit (two WAVs of %d MiB)\n",
           b, s, t1 - t0, p / 1024, l, d
  }'
done
