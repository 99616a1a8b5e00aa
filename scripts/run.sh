#!/usr/bin/env bash
# Builds Velgard and starts the desktop program.
#   bash scripts/run.sh [velgard arguments]      e.g. --start my-disk.kdi
# Without a display ($DISPLAY or $WAYLAND_DISPLAY) it says so and runs the
# headless demo instead: the demo disk boots for ten seconds and its screen
# is saved to build/screen.png. Relative paths in the arguments are taken
# from the folder the script was called from.
set -euo pipefail
caller=$(pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/setup.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
cd "$caller"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$repo/build/velgard" "$@"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the headless demo instead."
# A copy, so that the built demo disk itself is never changed.
cp "$repo/build/firmware/demo.kdi" "$repo/build/demo-run.kdi"
"$repo/build/velgard-cli" run --frames 500 --drive "A=$repo/build/demo-run.kdi" --screenshot "$repo/build/screen.png"
echo "The machine's screen is in $repo/build/screen.png"
