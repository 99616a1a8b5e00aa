#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velgard need.
# Idempotent: only missing packages are installed, and the package lists
# are refreshed once, only when something is missing.
set -euo pipefail

packages=(
  # toolchain and build
  g++ cmake ninja-build pkg-config
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the 8080 assembler for our firmware and test programs
  pasmo
  # screenshots
  libpng-dev
  # a reference Z80 core for the benchmark
  libz80ex-dev
  # interoperability tests for the disk tools
  cpmtools
  # an independent BASIC interpreter for the reference runs of our BASIC
  bwbasic
  # fuzzing (libFuzzer ships with clang's runtime)
  clang libclang-rt-14-dev
  # the console font our character generator is built from
  console-setup-linux
  # sound output through the host's audio system (src/ui/audio)
  libsdl2-dev
  # the desktop program (Qt 6 Widgets) and its end-to-end test under a
  # virtual X server
  qt6-base-dev xvfb xdotool xauth x11-apps procps
  # the settings file's INI parser
  libinih-dev
  # a compiler cache shared by build folders
  ccache
  # the desktop entry, icon and .kdi file type, and their install test
  desktop-file-utils shared-mime-info xdg-utils libglib2.0-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all required packages are installed"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "setup: run this script as root (or install them with apt-get)" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
