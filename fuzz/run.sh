#!/usr/bin/env bash
# Builds the fuzz targets with clang into their own build folder and runs
# each for a given time. A crash, a hang (an input running longer than
# FUZZ_TIMEOUT seconds), a leak or memory past FUZZ_RSS_MB is a finding: its
# input is kept under <build>/fuzz-runs/<target>/ and the script exits 1.
#
#   bash fuzz/run.sh [SECONDS] [TARGET...]     (default 60 s, every target)
#
# FUZZ_BUILD_DIR (default build-fuzz), FUZZ_TIMEOUT (10), FUZZ_RSS_MB (2048),
# FUZZ_SEED (random when unset; CI fixes it so that its runs repeat).
# FUZZ_KEEP_GOING=1 runs each target past its findings (libFuzzer's fork
# mode), to see more than the first; the script still exits 1 after.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(json_document schema_entry split_config load_store_error_file kno_tree knosh knosh_daemon image_xml ustar desired_document boot_document fleet_input)

# Longest input per target: room for the seeds and a little more.
declare -A max_len=([kno_tree]=16384 [knosh]=1024 [knosh_daemon]=8192 [ustar]=8192)
declare -A dict=([knosh]=fuzz/knosh.dict [knosh_daemon]=fuzz/knosh.dict [image_xml]=fuzz/xml.dict)

CC=clang CXX=clang++ cmake -S . -B "$build" -DTARN_BUILD_FUZZ=ON -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz -j"$(nproc)"

# Leaks are looked for after each input (libFuzzer) and at exit.
export UBSAN_OPTIONS=print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1
runs="$PWD/$build/fuzz-runs"
TIMEFORMAT=%0U+%0S  # CPU seconds of a timed run, written to its cpu file
passed=0 failed=0
for t in "${targets[@]}"; do
  work="$runs/$t"
  rm -rf "$work/artifacts"  # a finding stands until a run no longer makes it
  mkdir -p "$work/corpus" "$work/artifacts"
  # The private host roots go below a folder of this run (TMPDIR), in memory
  # where possible: a file rewritten on disk for every input is flushed on
  # close, which costs more than the input.
  tmp=$(mktemp -d /dev/shm/tarn-fuzz-XXXXXX 2>/dev/null || mktemp -d "$work/tmp-XXXXXX")
  args=(-max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb="${FUZZ_RSS_MB:-2048}"
        -max_len="${max_len[$t]:-4096}" -dict="${dict[$t]:-fuzz/json.dict}" -close_fd_mask=1
        -artifact_prefix="$work/artifacts/" -print_final_stats=1)
  [ -z "${FUZZ_SEED:-}" ] || args+=(-seed="$FUZZ_SEED")
  [ "${FUZZ_KEEP_GOING:-0}" != 1 ] || args+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  echo "=== $t: ${seconds}s"
  if { time TMPDIR="$tmp" "$build/fuzz/${t}_fuzz" "${args[@]}" "$work/corpus" "fuzz/corpus/$t" \
           >"$work/log" 2>&1; } 2>"$work/cpu" && [ -z "$(ls -A "$work/artifacts")" ]; then
    passed=$((passed + 1))
    # From the final stats: a target's own output may share lines with
    # libFuzzer's progress lines.
    inputs=$(grep -a 'stat::number_of_executed_units' "$work/log" | awk '{print $2}' | tail -1 || true)
    echo "$t: no finding, $inputs inputs, $(($(cat "$work/cpu"))) CPU s"
  else
    failed=$((failed + 1))
    echo "$t: FINDING, see $work/log and $work/artifacts/"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$work/log" | head -5 || true
  fi
  rm -rf "$tmp"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
