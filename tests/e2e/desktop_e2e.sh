#!/usr/bin/env bash
# Starts velgard under Xvfb as a user would, presses F11, types H and Enter,
# and reads the Korvet screen back from a dump of the window: the firmware's
# banner and the monitor's help must be there. Then starts it with
# `--start demo.kdi` and checks that the demo's colours fill the screen.
#   desktop_e2e.sh VELGARD SCREEN-TEXT DEMO.kdi
set -euo pipefail
velgard=$1 screen_text=$2 demo=$3
for tool in xvfb-run xdotool xwd; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of the program in a folder of its own, so that its settings file
# (beside the program) is the test's: the monitor's ROM set "Контур 2.0".
cp "$velgard" "$work/velgard"
printf '[Computer]\nROMIndex=2\n' > "$work/velgard.ini"
cp "$demo" "$work/demo.kdi"

cat > "$work/session.sh" <<'SESSION'
set -euo pipefail
cd "$1"
find_window() {
  for _ in $(seq 1 100); do
    wid=$(xdotool search --onlyvisible --name '^Velgard' 2>/dev/null | head -n 1 || true)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  echo "no Velgard window appeared" >&2
  return 1
}
press() {  # holds a key for a fifth of a second, as a person would
  xdotool keydown --window "$wid" "$1"; sleep 0.2; xdotool keyup --window "$wid" "$1"; sleep 0.2
}

# 1. The monitor: F11, then H and Enter.
./velgard 2> stderr1.txt &
pid=$!
wid=$(find_window)
xdotool windowfocus --sync "$wid" || true
sleep 0.5
press F11
sleep 1.5
press h
press Return
sleep 1
xwd -silent -id "$wid" > monitor.xwd
kill -TERM "$pid"; wait "$pid" || true

# 2. The demo disk from the command line, started at once.
./velgard --start demo.kdi 2> stderr2.txt &
pid=$!
wid=$(find_window)
sleep 3
xwd -silent -id "$wid" > demo.xwd
kill -TERM "$pid"; wait "$pid" || true
SESSION

xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/session.sh" "$work"

"$screen_text" "$work/monitor.xwd" > "$work/monitor.txt"
echo "--- the Korvet screen after F11, H, Enter:"
cat "$work/monitor.txt"
fail=0
expect() {  # a text that must stand on the screen, compared glyph by glyph
  grep -qF -- "$("$screen_text" --canon "$1")" "$work/monitor.txt" || { echo "FAIL: $2"; fail=1; }
}
expect "Контур 2.0 - открытая прошивка Velgard" "no firmware banner"
expect "Команды монитора:" "no monitor help after H"
expect "H или ?            - эта справка" "the help's last line is missing"

colours=$("$screen_text" --colours "$work/demo.xwd")
echo "--- the demo's first screen shows $colours colours"
[ "$colours" -ge 8 ] || { echo "FAIL: the demo disk did not start (only $colours colours)"; fail=1; }
exit $fail
