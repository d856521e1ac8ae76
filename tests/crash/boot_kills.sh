#!/usr/bin/env bash
# A boot killed at any step ends, at the next boot, as an undisturbed boot
# would, and the boot after it too (docs/RELIABILITY.md, "A boot cut short"):
# strace kills a first boot, an upgrade boot and a boot that applies a desired
# configuration at each openat and fdatasync.
# Usage: tests/crash/boot_kills.sh [CLI|BUILD_DIR] [first|upgrade|desired|all] [STRIDE]
# STRIDE: kill at every STRIDE-th call only (default 1: at each).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)" trial=boot-kills
. "$here/trial.sh"
trial_setup "${1:-$here/../../build}" sqlite3 strace
scenarios="${2:-all}"
stride="${3:-1}"
[ "$scenarios" = all ] && scenarios="first upgrade desired"

bootlog=var/log/configstore-boot.log
snapshot=etc/halden/schemastore/schema-store-1.before-boot
module="$(dirname "$cli")/../examples/upgrade-module/libtarn-example-upgrade.so"

# Everything a boot leaves that the next one reads, without times, revision
# counters and generated identifiers (new in every run); the store's schema
# with Config's triggers.
state() {
  local live="$1/etc/halden/configstore/current-store-1" schema="$1/etc/halden/schemastore/schema-store-1"
  {
    sql "$live" "SELECT 'Config', Component, ConfigGroup, Name, Identifier, Version, Success, AutoConfValue, UserValue,
                 VitalValue, CachedValue, DesiredValue FROM Config;"
    sql "$live" "SELECT 'DefaultConfig', Component, ConfigGroup, Name, Identifier, Value, VitalValue, CachedValue,
                 Version FROM DefaultConfig;"
    sql "$live" "SELECT 'KVTable', Key, Value FROM KVTable;"
    sql "$live" "SELECT 'schema', type, name, tbl_name, sql FROM sqlite_master;"
    sql "$live" "SELECT 'DesiredUserConfig', * FROM DesiredUserConfig;"
    for t in $(sql "$schema" "SELECT name FROM sqlite_master WHERE type = 'table';"); do
      sql "$schema" "SELECT '$t', * FROM $t;"
    done
  } 2>&1 | sed -E 's/[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}/<generated>/g' | LC_ALL=C sort
}

# How often an undisturbed boot calls the system call.
calls() {
  strace -qq -o "$top/trace" -e trace="$1" "$cli" --root "$root" boot >/dev/null 2>&1
  grep -c "^$1(" "$top/trace"
}

# The boot, killed on its N-th call of the system call.
kill_at() {
  (strace -qq -o /dev/null -e trace="$1" -e inject="$1:signal=KILL:when=$2" "$cli" --root "$root" boot >/dev/null 2>&1
    true) 2>/dev/null  # not exec'd: the subshell reports the kill, silenced
}

prepare() {
  rm -rf "$root" && mkdir -p "$root" && cp -a "$here/../../examples/host/." "$root/"
  [ -e "$module" ] && cp "$module" "$root/usr/lib/halden/configmanager/upgrade/lib/"
  [ "$1" = first ] && return 0
  if [ "$1" = desired ]; then  # a host that ran, then its operator stored a desired configuration
    tcs boot >/dev/null && tcs desired set "$here/../../examples/desired/host-desired.json" >/dev/null &&
      tcs backup >/dev/null
    return
  fi
  # A host that ran on the old image, its store backed up, then an upgrade:
  # a new crate (telemetry) comes, hostsvc goes, the boot file system changes.
  tcs boot >/dev/null && tcs boot-state cleanup >/dev/null && tcs backup >/dev/null || return 1
  rm -f "$root/var/run/halden/files/loadStoreErrors.json" "$root/var/run/nonSchemaFiles" \
    "$root/var/lib/halden/firstboot/current-store-1" "$root"/var/log/*.log
  cp -a "$here/../../examples/upgrade-image/." "$root/"
  rm -f "$root/var/db/tarnimg/crates/Halden_system_hostsvc_8.0.2-1.20.xml" \
    "$root/usr/lib/halden/configmanager/schemas/hostsvc.json" "$root/etc/halden/default-config/hostsvc.json"
  sed -i 's/5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d/9b1d4e77-0c2a-4f55-8e3b-6a7c1d2e3f40/g' "$root/var/run/kno/tree.json"
}

failed=0 total=0
for scenario in $scenarios; do
  prepare "$scenario" || die "preparing the $scenario boot failed"
  rm -rf "$top/pristine" && cp -a "$root" "$top/pristine"
  tcs boot >/dev/null 2>&1 || die "the undisturbed $scenario boot failed"
  state "$root" >"$top/$scenario.once"
  tcs boot >/dev/null 2>&1 || die "the boot after the undisturbed $scenario boot failed"
  state "$root" >"$top/$scenario.twice"
  tcs boot >/dev/null 2>&1 || die "the third undisturbed $scenario boot failed"
  state "$root" >"$top/$scenario.thrice"
  for syscall in openat fdatasync; do
    rm -rf "$root" && cp -a "$top/pristine" "$root"
    count=$(calls $syscall)
    bad=0 kills=0
    for ((n = 1; n <= count; n += stride)); do
      rm -rf "$root" && cp -a "$top/pristine" "$root"
      kill_at $syscall "$n"
      kills=$((kills + 1))
      what="$scenario boot killed at $syscall $n"
      # Killed after the load had ended (its copy of the schema store
      # discarded): that boot counts as done, the next one is the second.
      next=once later=twice
      grep -qs "LoadStore End." "$root/$bootlog" && [ ! -e "$root/$snapshot" ] && next=twice later=thrice
      : >"$root/etc/halden/configstore/current-store-1-mj5EA1C0DE"  # as a killed two-database commit leaves
      if ! tcs boot >"$top/out" 2>&1; then
        echo "  $what: the next boot failed: $(cat "$top/out")"
      elif ! state "$root" | cmp -s - "$top/$scenario.$next"; then
        echo "  $what: the next boot ends differently:" && state "$root" | diff "$top/$scenario.$next" - | head -5
      elif ! { tcs boot >/dev/null 2>&1 && state "$root" | cmp -s - "$top/$scenario.$later"; }; then
        echo "  $what: the boot after the next one ends differently"
      elif [ -n "$(find "$root/etc/halden" -name '*-mj*' -o -name '*.before-boot*')" ]; then
        echo "  $what: left behind: $(find "$root/etc/halden" -name '*-mj*' -o -name '*.before-boot*')"
      else
        continue
      fi
      bad=$((bad + 1))
      [ "$bad" -eq 1 ] && cp -a "$root" "$top/failed-$scenario-$syscall-$n"
    done
    printf '%-8s boot, kills at each %-2s of %-9s: %4d kills, %d ending otherwise than undisturbed\n' \
      "$scenario" "$stride" "$syscall" "$kills" "$bad"
    failed=$((failed + bad)) total=$((total + kills))
  done
done
[ "$failed" -eq 0 ] && rm -rf "$top"
echo "$((total - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
