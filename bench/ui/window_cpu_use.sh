#!/usr/bin/env bash
# The desktop program's CPU use while the firmware runs at real time:
# velgard started with --start under Xvfb, process CPU time over 10 seconds
# of wall time after a 2-second settling.
#   bash bench/ui/window_cpu_use.sh [build folder]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/velgard" "$work/velgard"
printf '[Computer]\nROMIndex=2\n' > "$work/velgard.ini"
cat > "$work/measure.sh" <<'INNER'
set -euo pipefail
cd "$1"
./velgard --start 2>/dev/null &
pid=$!
sleep 1
wid=$(xdotool search --onlyvisible --name '^Velgard' | head -n 1)
xdotool windowfocus "$wid" 2>/dev/null || true
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); s0=$(date +%s.%N)
sleep 10
t1=$(ticks); s1=$(date +%s.%N)
echo "title: $(xdotool getwindowname "$wid")"
awk -v a="$t0" -v b="$t1" -v s="$s0" -v e="$s1" -v hz="$hz" \
  'BEGIN { printf "velgard in the window at real time: %.1f %% of one core (%.2f s CPU in %.2f s)\n", 100*(b-a)/hz/(e-s), (b-a)/hz, e-s }'
kill "$pid"; wait "$pid" 2>/dev/null || true
INNER
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/measure.sh" "$work"
