#!/usr/bin/env bash
# Builds Velgard and starts it. Arguments are passed to velgard-cli; without
# arguments it powers the machine on for five seconds and saves the screen.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
if [ $# -eq 0 ]; then
  set -- help
fi
exec build/velgard-cli "$@"
