#!/usr/bin/env bash
# Prints the size of the test code (tests/, fuzz/: suites, harnesses, fuzz
# targets) against the product code (libraries, programs, public headers),
# in lines of source. Exits 1 when the tests pass 0.34 of the code: the
# project keeps them at about a third, and a test that catches a real fault
# is worth the percent. Benchmarks, examples and docs count on neither side.
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
share=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }')
echo "test share: $tests lines of tests / $code lines of code = $share (ceiling 0.34)"
awk -v t="$tests" -v c="$code" 'BEGIN { exit !(t <= 0.34 * c) }'
