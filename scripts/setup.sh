#!/usr/bin/env bash
# Installs what SonBalancer needs to build, run and test, from Debian's packages.
# Does nothing when everything is already there; runs apt-get update only when something is missing.
set -eu

packages=(
  build-essential cmake pkg-config
  clang libclang-rt-14-dev
  libwxgtk3.2-dev libgtk-3-dev libasound2-dev libx11-dev
  libebur128-dev nlohmann-json3-dev libtag1-dev
  liblilv-dev x42-plugins
  libavformat-dev libavcodec-dev libavutil-dev
  ffmpeg sox
  xvfb xauth chromium bsdutils util-linux
  libgtest-dev libgmock-dev libbenchmark-dev
  desktop-file-utils
  dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
