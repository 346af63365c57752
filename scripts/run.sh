#!/usr/bin/env bash
# Builds SonBalancer and starts the window program. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONBALANCER_GUI=ON
cmake --build build -j"$(nproc)" --target sonbalancer sonbalancer-cli
exec ./build/bin/sonbalancer "$@"
