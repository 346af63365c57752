# Sourced by the benchmarks: make_tracks FOLDER COUNT writes COUNT one-minute MP3 tracks,
# tones over pink noise, each its own pitch, as the files of a library.
make_tracks() {
  local folder=$1 count=$2 i
  for i in $(seq 1 "$count"); do
    ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((110 + 37 * i)):duration=60" \
      -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=60:seed=$i" \
      -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -ar 44100 \
      -b:a 192k "$folder/track$i.mp3"
  done
}

# seconds FOLDER ARGUMENTS...: wall time of one run of the command over FOLDER, its old
# results removed first.
seconds() {
  local folder=$1 start end
  shift
  rm -rf "$folder/sonbalanced" "$folder.report"
  start=$(date +%s.%N)
  "$cli" "$@" "$folder" 2>/dev/null || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
