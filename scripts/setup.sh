#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need and is
# not there yet. Does nothing (and asks for nothing) when all is installed.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  gcc-arm-none-eabi libnewlib-arm-none-eabi binutils-arm-none-eabi
  libunicorn-dev libelf-dev libcli11-dev libpng-dev libsndfile1-dev libsdl2-dev
  googletest libgtest-dev
  python3 ccache
  xvfb xdotool tmux
  libdw-dev libboost-dev
  gdb-multiarch lcov valgrind
  chromium chromium-driver python3-selenium
  python3-serial parallel rsync openssh-client
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
