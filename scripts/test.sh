#!/usr/bin/env bash
# Builds SonBalancer and runs every test: the whole suite (window tests under a private Xvfb
# server), the engine's and the meters' tests again on their portable, four-lane and two-lane
# paths, the non-window tests again built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then the file parsers fuzzed for a bounded time. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_GUI=ON
cmake --build build -j"$jobs"

# A display of our own for the window tests, whatever the calling session has.
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
display_file=$(mktemp)
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n1 "$display_file")"
# Under a Wayland session GTK would otherwise open the test windows on the user's screen.
unset WAYLAND_DISPLAY
export GDK_BACKEND=x11
rm -f "$display_file"
echo "Window tests use Xvfb on $DISPLAY"

ctest --test-dir build --output-on-failure -j"$jobs"

# The engine's and the meters' plain paths, which a processor without the vector instructions
# runs, held to the same tests.
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_PORTABLE=ON \
      -DSONBALANCER_GUI=OFF -DSONBALANCER_BENCH=OFF
cmake --build build-portable -j"$jobs" --target engine_tests loudness_tests
ctest --test-dir build-portable --output-on-failure -j"$jobs" -L "engine|loudness"

# The four-lane paths, which processors with AVX2 but without AVX-512 run, on a processor that
# would otherwise take the eight-lane ones.
cmake -S . -B build-avx2 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_AVX512=OFF \
      -DSONBALANCER_GUI=OFF -DSONBALANCER_BENCH=OFF
cmake --build build-avx2 -j"$jobs" --target engine_tests loudness_tests
ctest --test-dir build-avx2 --output-on-failure -j"$jobs" -L "engine|loudness"

# The two-lane paths, which processors without AVX2 run.
cmake -S . -B build-sse -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_AVX2=OFF \
      -DSONBALANCER_GUI=OFF -DSONBALANCER_BENCH=OFF
cmake --build build-sse -j"$jobs" --target engine_tests loudness_tests
ctest --test-dir build-sse --output-on-failure -j"$jobs" -L "engine|loudness"

# Built by clang, which builds the sanitized code in under half the time gcc takes; the
# sanitized engine walks its two-lane paths too.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSONBALANCER_SANITIZE=ON \
      -DSONBALANCER_GUI=OFF -DSONBALANCER_BENCH=OFF -DSONBALANCER_AVX2=OFF
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE app

# The parsers of untrusted bytes (the WAV header reader, the MP3 completeness check) under
# libFuzzer and both sanitizers, 30 seconds each; a small build of their code alone.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_FUZZ=ON
cmake --build build-fuzz -j"$jobs"
ctest --test-dir build-fuzz --output-on-failure -j"$jobs" -L fuzz
