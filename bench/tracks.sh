# Sourced by the benchmarks.

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# cpu_seconds_of COMMAND...: runs the command, its output discarded, and prints the CPU seconds
# (user + system) it and the children it waited for took, to the microsecond: GNU time prints
# hundredths, too coarse for a job of a tenth of a second.
cpu_seconds_of() {
  python3 -c 'import resource, subprocess, sys
def used():
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return children.ru_utime + children.ru_stime
before = used()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.6f" % (used() - before))' "$@"
}

# make_tracks FOLDER COUNT writes COUNT one-minute MP3 tracks,
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

# make_bass_wav FILE writes the five-minute 44100 Hz WAV the cost benchmarks share: a loud
# triangle bass under a faint treble and hiss, which calls for the second pass and for a lower
# MP3, with a plain 44-byte header as rippers write it.
make_bass_wav() {
  ffmpeg -nostdin -loglevel error -f lavfi -i "aevalsrc='0.5*asin(sin(2*PI*110*t))*2/PI+0.01*sin(2*PI*3000*t)+0.004*(random(0)-0.5)|0.25*asin(sin(2*PI*110*t))*2/PI-0.02*sin(2*PI*3000*t)+0.004*(random(1)-0.5)':s=44100:d=300" \
    -fflags +bitexact -flags +bitexact -c:a pcm_s16le "$1"
}

# make_music_wav FILE writes a five-minute 44100 Hz WAV of music-like sound: a decaying kick
# twice a second, a slowly swelling chord and noise hats, a little apart in the two channels.
# Its crests are brief, as music's are, where the bass WAV above keeps them for half its time.
make_music_wav() {
  local left="0.35*sin(2*PI*55*t)*exp(-8*mod(t,0.5))+0.12*(sin(2*PI*220*t)+sin(2*PI*277.2*t)+sin(2*PI*329.6*t))*(0.7+0.3*sin(2*PI*0.2*t))+0.15*(2*random(0)-1)*exp(-60*mod(t,0.25))"
  local right="0.35*sin(2*PI*55*t)*exp(-8*mod(t,0.5))+0.12*(sin(2*PI*220.5*t)+sin(2*PI*246.9*t)+sin(2*PI*329.6*t))*(0.7+0.3*sin(2*PI*0.23*t))+0.15*(2*random(1)-1)*exp(-60*mod(t+0.125,0.25))"
  ffmpeg -nostdin -loglevel error -f lavfi -i "aevalsrc='$left|$right':s=44100:d=300" \
    -fflags +bitexact -flags +bitexact -c:a pcm_s16le "$1"
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

# make_varied_tracks FOLDER COUNT SECONDS writes COUNT music-like 16-bit WAV tracks of SECONDS
# each, cycling through six kinds (pink noise over a kick, a sustained chord, sparse noise
# drums, a quiet passage then a loud one, a bass with short hats, decaying piano-like notes; most
# with louder and quieter sections) at levels rising from far too quiet to a loud master's, the loudest held under full scale by
# ffmpeg's limiter.
make_varied_tracks() {
  local folder=$1 count=$2 length=$3 i kind level
  local kinds=(
    "(0.25*(2*random(0)-1)+0.8*sin(2*PI*55*t)*exp(-25*mod(t,0.5)))*(0.55+0.45*gte(mod(t,10),5))"
    "0.2*(sin(2*PI*220*t)+sin(2*PI*277.2*t)+sin(2*PI*329.6*t))*(0.7+0.3*sin(2*PI*0.2*t))"
    "(0.9*(2*random(0)-1)*exp(-60*mod(t,0.25))*lt(mod(t,1),0.75)+0.3*sin(2*PI*82.4*t)*exp(-4*mod(t,1)))*(0.4+0.6*gte(mod(t,8),4))"
    "(0.04+0.6*gte(t,$length/2))*(sin(2*PI*196*t)+0.5*sin(2*PI*392*t)+0.3*sin(2*PI*587*t))/1.8"
    "0.6*sin(2*PI*50*t)*exp(-8*mod(t,0.5))+0.25*(2*random(0)-1)*exp(-300*mod(t,0.125))"
    "0.6*sin(2*PI*220*pow(2,floor(mod(t*2,8))/12)*t)*exp(-3*mod(t,0.5))*(0.3+0.7*gte(mod(t,12),6))"
  )
  mkdir -p "$folder"
  for i in $(seq 0 $((count - 1))); do
    kind=${kinds[$((i % 6))]}
    level=$(awk -v i="$i" -v n="$count" 'BEGIN { printf "%.1f", -16 + 21 * i / (n - 1) }')
    # The right channel a little quieter and a few samples later, as a stereo mix would have it.
    ffmpeg -nostdin -loglevel error -f lavfi \
      -i "aevalsrc='${kind}|0.9*(${kind//\*t/*(t-0.0002)})':s=44100:d=$length" \
      -af "volume=${level}dB,alimiter=limit=0.9:level=0,aformat=sample_fmts=s16" \
      -ar 44100 -ac 2 "$folder/track$(printf %02d "$i").wav"
  done
}

# ebur128_figures FILE prints the integrated loudness (LUFS), the loudness range (LU) and the
# true peak (dBTP) of FILE as ffmpeg's ebur128 filter reads them, to the hundredth.
ebur128_figures() {
  ffmpeg -nostdin -v error -i "$1" -af ebur128=peak=true:metadata=1,ametadata=print:file=- \
    -f null - 2>/dev/null | awk -F= '
      /^lavfi.r128.I=/ { i = $2 }
      /^lavfi.r128.LRA=/ { lra = $2 }
      /^lavfi.r128.true_peak=/ { if ($2 > peak) peak = $2 }
      END { printf "%.2f %.2f %.2f\n", i, lra, (peak > 0 ? 20 * log(peak) / log(10) : -99) }'
}
