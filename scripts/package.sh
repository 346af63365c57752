#!/usr/bin/env bash
# Builds the Debian package of SonBalancer (both programs, the desktop entry and icon, the
# manual pages, the bash completion, the copyright) and prints its path as the last line.
# Installs what it needs first.
#
#   scripts/package.sh [BUILD_FOLDER [OUTPUT_FOLDER]]
#
# The build folder is build-package/ by default, configured here with the build type the tests
# run (the package strips the programs) and without tests; a folder given that is already
# configured is built as it is, which is how the test of the package reuses the test build. The
# package goes to OUTPUT_FOLDER, by default BUILD_FOLDER/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}
output=${2:-$build}
"$root/scripts/setup.sh"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_GUI=ON \
        -DSONBALANCER_TESTS=OFF -DSONBALANCER_BENCH=OFF
fi
cmake --build "$build" -j"$(nproc)" --target sonbalancer sonbalancer-cli sonbalancer_documents

mkdir -p "$output"
output=$(cd "$output" && pwd)
rm -rf "$output/_CPack_Packages"
rm -f "$output"/sonbalancer_*.deb
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$output" >&2
rm -rf "$output/_CPack_Packages"

package=$(find "$output" -maxdepth 1 -name 'sonbalancer_*.deb' -print -quit)
[ -n "$package" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "$package"
