#!/usr/bin/env bash
# Prints the size of the test code (tests/, fuzz/: suites, harnesses, fuzz
# targets) against the product code (libraries, programs, public headers),
# in lines of source. Exits 1 when the tests pass a third of the code, the
# project's ceiling. Benchmarks, examples and docs count on neither side.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  local dirs=()
  for d in "$@"; do [ -d "$d" ] && dirs+=("$d"); done
  [ ${#dirs[@]} -eq 0 ] && { echo 0; return; }
  find "${dirs[@]}" -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' \
    -o -name '*.hpp' -o -name '*.sh' -o -name '*.py' \) -print0 | xargs -0 cat | wc -l
}

code=$(count include platform store boot schema defaults desired maintenance persist image apps tools fleet)
tests=$(count tests fuzz)
share=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.2f", t / c }')
echo "test share: $tests lines of tests / $code lines of code = $share (ceiling 0.33)"
awk -v t="$tests" -v c="$code" 'BEGIN { exit !(3 * t <= c) }'
