#!/usr/bin/env bash
# Builds Velgard twice and runs the whole test suite in both builds:
#  1. build/       optimized: every test, the long processor exercisers and the
#                  end-to-end tests of the desktop program under Xvfb included;
#  2. build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer: every test
#                  except the long exercisers (label "long") and the end-to-end
#                  ones (label "e2e"), the GUI tests included; the libFuzzer
#                  targets (label "fuzz": tests/disk/fuzz, tests/fuzz) run
#                  there for 15-20 s each from their seed corpora.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== optimized build"
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 3000

echo "== sanitizer build"
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELGARD_SANITIZE=ON -DVELGARD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)" -LE "long|e2e" --timeout 1200
