#!/usr/bin/env bash
# The README's run commands, exactly as written, from the repository's
# folder: `bash scripts/run.sh` opens the window, `bash scripts/run.sh
# --start build/firmware/demo.kdi` opens it with the demo running, and
# without a display run.sh says so and runs the headless demo.
#   run_script_e2e.sh REPO SCREEN-TEXT
set -euo pipefail
repo=$1 screen_text=$2
for tool in xvfb-run xdotool xwd; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
cd "$repo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# Without a display: one line that says so, then the headless demo.
rm -f build/screen.png
env -u DISPLAY -u WAYLAND_DISPLAY bash scripts/run.sh > "$work/nodisplay.txt" 2>&1
grep -q "^No display" "$work/nodisplay.txt" || { echo "FAIL: no word about the missing display"; fail=1; }
[ -s build/screen.png ] || { echo "FAIL: the headless demo saved no screen"; fail=1; }

cat > "$work/session.sh" <<'SESSION'
set -euo pipefail
work=$1
window() {
  for _ in $(seq 1 600); do
    wid=$(xdotool search --onlyvisible --name '^Velgard' 2>/dev/null | head -n 1 || true)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  return 1
}
bash scripts/run.sh > "$work/plain.txt" 2>&1 &
pid=$!
wid=$(window) || { echo "no window from bash scripts/run.sh"; exit 1; }
xdotool getwindowname "$wid" > "$work/plain-title.txt"
kill -TERM "$pid" 2>/dev/null; pkill -TERM -f "build/velgard$" || true; wait "$pid" 2>/dev/null || true
sleep 0.5

bash scripts/run.sh --start build/firmware/demo.kdi > "$work/demo.txt" 2>&1 &
pid=$!
wid=$(window) || { echo "no window from bash scripts/run.sh --start build/firmware/demo.kdi"; exit 1; }
# The title follows the machine while the window is active.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 3
xwd -silent -id "$wid" > "$work/demo.xwd"
xdotool getwindowname "$wid" > "$work/demo-title.txt"
pkill -TERM -f "build/velgard --start" || true; wait "$pid" 2>/dev/null || true
sleep 0.5

# From another folder, a relative path names a file of that folder: the
# demo boots from it.
cp build/firmware/demo.kdi "$work/relative.kdi"
repo=$(pwd)
(cd "$work" && exec bash "$repo/scripts/run.sh" --start relative.kdi > "$work/relative.txt" 2>&1) &
pid=$!
wid=$(window) || { echo "no window from run.sh called from another folder"; exit 1; }
sleep 3
xwd -silent -id "$wid" > "$work/relative.xwd"
pkill -TERM -f "build/velgard --start relative.kdi" || true; wait "$pid" 2>/dev/null || true
SESSION
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/session.sh" "$work" || fail=1

grep -qx "Velgard" "$work/plain-title.txt" 2>/dev/null || { echo "FAIL: the plain start shows no stopped Velgard window"; fail=1; }
grep -q "^Velgard (FPS=" "$work/demo-title.txt" 2>/dev/null || { echo "FAIL: --start did not run the machine"; fail=1; }
colours=$("$screen_text" --colours "$work/demo.xwd" 2>/dev/null || echo 0)
[ "$colours" -ge 8 ] || { echo "FAIL: the demo's colours are not on the screen ($colours)"; fail=1; }
colours=$("$screen_text" --colours "$work/relative.xwd" 2>/dev/null || echo 0)
[ "$colours" -ge 8 ] || { echo "FAIL: run.sh from another folder did not boot ./relative.kdi ($colours colours)"; fail=1; }
exit $fail
