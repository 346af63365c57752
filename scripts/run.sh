#!/usr/bin/env bash
# Builds SonBalancer and starts the window program. Installs what it needs first. The program
# runs in the folder this command was started from, where its process log goes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_GUI=ON
cmake --build "$root/build" -j"$(nproc)" --target sonbalancer sonbalancer-cli
exec "$root/build/bin/sonbalancer" "$@"
