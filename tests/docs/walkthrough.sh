#!/usr/bin/env bash
# The README's operator walk-through is true as written: each "$ " line of
# its block is run in one shell, from the project root, with the programs on
# PATH, and what it prints must be the lines that follow it. The host root
# and identifiers the boot generates differ from run to run; both are masked.
# Usage: tests/docs/walkthrough.sh BUILD_TOOLS_DIR
set -uo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
export PATH="$(cd "$1" && pwd):$PATH"
unset TARN_ROOT  # the block makes its own
cd "$top"

block() { awk '/^<!-- walk-through -->$/ {on = 1; next} on && /^```console$/ {next} on && /^```$/ {exit} on' README.md; }
mask() {
  sed -E 's/[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}/<generated>/g'
}

expected=$(block)
[ -n "$expected" ] || { echo "FAIL: README.md has no walk-through block" >&2; exit 1; }
actual=$(
  while IFS= read -r line; do
    [[ $line == '$ '* ]] || continue
    printf '%s\n' "$line"
    eval "${line#\$ }" </dev/null 2>&1
  done <<<"$expected"
  [ -n "${TARN_ROOT:-}" ] && rm -rf "$TARN_ROOT"
)
# The root the block made, named as the README names it.
root=$(sed -n 's/^\(.*\)\/etc\/halden\/configstore\/current-store-1 -> .*/\1/p' <<<"$actual" | head -1)
[ -n "$root" ] && actual=${actual//"$root"/'$TARN_ROOT'}
if ! diff -u <(mask <<<"$expected") <(mask <<<"$actual"); then
  echo "FAIL: the README's walk-through is not what the programs print (- README, + programs)" >&2
  exit 1
fi
