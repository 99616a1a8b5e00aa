#!/usr/bin/env bash
# Runs every command of the README's ```sh blocks, exactly as written and in
# order, in a scratch folder laid out like the repository after a build
# (build/velgard-cli, build/firmware/demo.kdi). Every command must succeed.
# The two top-level commands (bash scripts/run.sh, bash scripts/test.sh) are
# left out: they build and test the whole project.
# Usage: readme_examples.sh README.md VELGARD_CLI DEMO_DISK
set -u
readme=$1 cli=$2 demo=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/velgard-readme.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build/firmware"
ln -s "$cli" "$work/build/velgard-cli"
cp "$demo" "$work/build/firmware/demo.kdi"

mapfile -t commands < <(awk '
  /^```sh[[:space:]]*$/ { inside = 1; next }
  /^```/ { inside = 0; next }
  inside && NF && $0 !~ /^#/ { print }
' "$readme")

count=0
for command in "${commands[@]}"; do
  case $command in
    "bash scripts/run.sh"*|"bash scripts/test.sh"*) continue ;;
  esac
  count=$((count + 1))
  echo "\$ $command"
  if ! (cd "$work" && bash -c "$command"); then
    echo "README example failed: $command" >&2
    exit 1
  fi
done
# Every velgard-cli command named in the text must be one of the examples
# or a synopsis: an inline `build/velgard-cli ...` would go untested.
if grep -n '`build/velgard-cli [^`]*`' "$readme"; then
  echo "README: inline build/velgard-cli commands are not run; put them in a \`\`\`sh block" >&2
  exit 1
fi
if [ "$count" -lt 10 ]; then
  echo "README: only $count examples found; the extraction is broken" >&2
  exit 1
fi
echo "$count README examples ran"
