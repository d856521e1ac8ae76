#!/usr/bin/env bash
# Writers beside the boot (docs/RELIABILITY.md): each writing command started
# just before and just after a boot. No boot fails, no writer holds the store
# while the boot does (the store log's lock lines tell the order), and every
# write that came after the boot's restore is still there.
# Usage: tests/crash/concurrency.sh [CLI|BUILD_DIR] [PAIRS_PER_COMMAND_AND_ORDER]
# Env: CONCURRENCY_SEED (repeats a run's start offsets).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)" trial=concurrency
. "$here/trial.sh"
trial_setup "${1:-$here/../../build}" sqlite3
pairs="${2:-2}"
seed="${CONCURRENCY_SEED:-$$}"
RANDOM=$seed

live=etc/halden/configstore/current-store-1
gens=var/lib/halden/configstore/backup/generations
log=var/log/configstore.log
exec {never}<> <(:)  # a descriptor that never delivers: `read -t` sleeps without a process
pause_us() { read -r -t "$(printf "%d.%06d" $(($1 / 1000000)) $(($1 % 1000000)))" -u "$never"; }

# --- a booted host, its store backed up twice (rollback has a generation to
# go back to), with an object no schema describes (cleanup removes it).
cp -a "$here/../../examples/host/." "$root/"
tcs boot >/dev/null && tcs boot-state cleanup >/dev/null && tcs backup >/dev/null || die "setting up failed"
sql "$root/$live" "INSERT INTO Config(Component, ConfigGroup, Name, UserValue) VALUES('legacy', 'tuning', 'knobs', '{}');"
tcs backup >/dev/null || die "the second backup failed"
rm -f "$root/var/run/halden/files/loadStoreErrors.json" "$root/var/lib/halden/firstboot/current-store-1"
cp "$here/../../examples/desired/host-desired.json" "$here/../../examples/desired/smartnic-desired.json" "$root/tmp/"
cp -a "$root" "$top/pristine"

commands=("desired set $root/tmp/host-desired.json" "desired set --smartnic $root/tmp/smartnic-desired.json"
  "backup" "rollback" "boot-mode 1" "apply-record set concurrent" "cleanup store" "cleanup live-store"
  "cleanup autoconf" "cleanup datafiles" "refresh")

# Whether the command's write is in the store (or its backup) now.
present() {
  case "$1" in
  "desired set --smartnic"*) [ "$(tcs boot-mode)" = 3 ] ;;
  "desired set"*) [ "$(tcs boot-mode)" = 1 ] && [ "$(sql "$root/$live" 'SELECT count(*) FROM DesiredUserConfig;')" -gt 0 ] ;;
  backup) [ "$(ls "$root/$gens" | grep -c '^[0-9]*$')" = 3 ] ;;
  rollback) [ "$root/var/lib/halden/configstore/backup/current-store-1" -ef "$root/$gens/1" ] ;;
  "boot-mode 1") [ "$(tcs boot-mode)" = 1 ] ;;
  "apply-record set"*) tcs apply-record | grep -q '"bootApplyRecord":"concurrent"' ;;
  "cleanup store" | "cleanup live-store") [ "$(sql "$root/$live" "SELECT count(*) FROM Config WHERE Component = 'legacy';")" = 0 ] ;;
  *) true ;;  # the boot itself does the same (auto-configured values, data files) or nothing visible
  esac
}

# Line number in the store log of the lock's taking or release by pid.
lock_line() { grep -n "Store lock $1 by pid $2 " "$root/$log" | head -1 | cut -d: -f1; }

failed_boots=0 lost=0 overlaps=0 refused=0 total=0
printf 'concurrency: %d pairs per command and order, seed %d\n' "$pairs" "$seed"
for cmd in "${commands[@]}"; do
  label=$(awk '{l = $1; for (i = 2; i <= NF && $i !~ /\//; i++) l = l " " $i; print l}' <<<"$cmd")
  c_fail=0 c_lost=0 c_overlap=0 c_refused=0 after=0
  for order in writer-first boot-first; do
    for ((p = 1; p <= pairs; p++)); do
      rm -rf "$root" && cp -a "$top/pristine" "$root"
      offset=$((RANDOM % 60000))
      if [ $order = writer-first ]; then
        "$cli" --root "$root" $cmd >"$top/w.out" 2>&1 & wpid=$!
        pause_us "$offset"
        "$cli" --root "$root" boot >"$top/b.out" 2>&1 & bpid=$!
      else
        "$cli" --root "$root" boot >"$top/b.out" 2>&1 & bpid=$!
        pause_us "$offset"
        "$cli" --root "$root" $cmd >"$top/w.out" 2>&1 & wpid=$!
      fi
      wait "$bpid"; brc=$?
      wait "$wpid"; wrc=$?
      total=$((total + 1))
      [ "$brc" -ne 0 ] && { c_fail=$((c_fail + 1)); echo "  $label ($order): the boot failed: $(cat "$top/b.out")"; }
      if [ "$wrc" -ne 0 ]; then
        grep -q "is in use by" "$top/w.out" && { c_refused=$((c_refused + 1)); continue; }
        echo "  $label ($order): the writer failed: $(cat "$top/w.out")"
        c_fail=$((c_fail + 1))
        continue
      fi
      bt=$(lock_line taken "$bpid") br=$(lock_line released "$bpid") wt=$(lock_line taken "$wpid")
      if [ -z "$bt" ] || [ -z "$br" ] || [ -z "$wt" ]; then
        echo "  $label ($order): a holder's lock lines are missing"; c_overlap=$((c_overlap + 1)); continue
      fi
      if [ "$wt" -gt "$bt" ] && [ "$wt" -lt "$br" ]; then
        echo "  $label ($order): the writer held the store during the boot"; c_overlap=$((c_overlap + 1))
      elif [ "$wt" -gt "$br" ]; then
        after=$((after + 1))
        present "$cmd" || { echo "  $label ($order): a write after the boot is gone"; c_lost=$((c_lost + 1)); }
      fi
    done
  done
  printf '%-24s pairs %d (writer after the boot %d), failed %d, overlapping %d, lost after the restore %d, gave up waiting %d\n' \
    "$label:" $((2 * pairs)) "$after" "$c_fail" "$c_overlap" "$c_lost" "$c_refused"
  failed_boots=$((failed_boots + c_fail)) lost=$((lost + c_lost)) overlaps=$((overlaps + c_overlap))
  refused=$((refused + c_refused))
done
bad=$((failed_boots + lost + overlaps))
[ "$bad" -eq 0 ] && rm -rf "$top"
echo "$total pairs: $failed_boots failed, $overlaps overlapping, $lost writes lost after the restore, $refused gave up waiting"
[ "$bad" -eq 0 ]
