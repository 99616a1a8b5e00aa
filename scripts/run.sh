#!/usr/bin/env bash
# Builds Velgard and starts it. Arguments are passed to velgard-cli; without
# arguments it boots the demo disk for ten seconds and saves the screen.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
if [ $# -eq 0 ]; then
  # A copy, so that the built demo disk itself is never changed.
  cp build/firmware/demo.kdi build/demo-run.kdi
  build/velgard-cli run --frames 500 --drive A=build/demo-run.kdi --screenshot build/screen.png
  echo "The machine's screen is in build/screen.png"
  exit 0
fi
exec build/velgard-cli "$@"
