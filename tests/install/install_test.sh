#!/usr/bin/env bash
# install_test.sh BUILD_DIR CMAKE VELGARD_CLI SOURCE_DIR
# For the build folder build/ of the source tree it runs the README's
# command as written, `cmake --install build --prefix "$HOME/.local"`, with
# HOME pointed at a temporary folder.
# Installs BUILD_DIR into a temporary prefix, validates the desktop entry and
# checks that .kdi images (and a Korvet image without the extension, by its
# header) resolve to application/x-korvet-disk with only that prefix's data.
set -euo pipefail
build=$1 cmake=$2 cli=$3 source=${4:-}

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

for tool in desktop-file-validate update-mime-database xdg-mime; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (desktop-file-utils, shared-mime-info, xdg-utils)"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if [ -n "$source" ] && [ "$build" -ef "$source/build" ]; then
  prefix=$tmp/.local
  (cd "$source" && PATH="$(dirname "$cmake"):$PATH" HOME=$tmp \
     bash -c 'cmake --install build --prefix "$HOME/.local"') >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install build --prefix \"\$HOME/.local\""; }
else
  prefix=$tmp/prefix
  "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install"; }
fi

desktop=$prefix/share/applications/velgard.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/velgard.svg
mimexml=$prefix/share/mime/packages/velgard-kdi.xml
for f in "$prefix/bin/velgard" "$desktop" "$icon" "$mimexml" "$prefix/share/doc/velgard/LICENSE-Terminus.txt" "$prefix/share/doc/velgard/LICENSE"; do
  [ -e "$f" ] || fail "not installed: $f"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
grep -qx 'Exec=velgard %F' "$desktop" || fail "Exec line"
grep -qx 'MimeType=application/x-korvet-disk;' "$desktop" || fail "MimeType line"
grep -q '<svg' "$icon" || fail "the icon is not an SVG"

update-mime-database "$prefix/share/mime" || fail "update-mime-database"
grep -q 'application/x-korvet-disk' "$prefix/share/mime/globs2" || fail "no glob for the type"

# Resolve with nothing but the temporary prefix and the system's own types.
export XDG_DATA_HOME=$prefix/share
export XDG_DATA_DIRS=$prefix/share:/usr/share
export HOME=$tmp
# xdg-mime asks "mimetype" (File::MimeInfo) when there is no desktop session;
# without it, GLib's "gio" reads the same database in GNOME mode.
if command -v mimetype >/dev/null; then
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
elif command -v gio >/dev/null; then
  export XDG_CURRENT_DESKTOP=GNOME
else
  skip "xdg-mime has no shared-mime-info backend here (neither mimetype nor gio)"
fi

"$cli" disk new "$tmp/game.kdi" >/dev/null || fail "velgard-cli disk new"
cp "$tmp/game.kdi" "$tmp/GAME.KDI"
cp "$tmp/game.kdi" "$tmp/korvet-disk"
printf 'just some text\n' >"$tmp/notes.kdi.txt"

check() {
  local file=$1 want=$2 got
  got=$(xdg-mime query filetype "$file" 2>/dev/null || true)
  [ "$got" = "$want" ] || fail "xdg-mime query filetype $(basename "$file"): '$got', expected '$want'"
  echo "$(basename "$file"): $got"
}
check "$tmp/game.kdi" application/x-korvet-disk
check "$tmp/GAME.KDI" application/x-korvet-disk
check "$tmp/korvet-disk" application/x-korvet-disk
check "$tmp/notes.kdi.txt" text/plain
echo "install test passed"
