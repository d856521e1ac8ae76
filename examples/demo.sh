#!/usr/bin/env bash
# Boots the sample host (examples/host) on a fresh temporary host root and
# shows what each boot did: the store, the boot mode, the boot apply record,
# the raised system alerts and the boot log. Four boots: a fresh host, whose
# boot registers the installed crates' schema files, writes their defaults
# and applies the boot configuration document; a boot restored from the
# backup taken while the host ran; a boot that applies the desired
# configuration an operator stored; and an upgrade boot to an image that adds
# one crate and drops another, which runs the example upgrade module.
# Usage: examples/demo.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
cli="$build/tools/tarn-configstore"
module="$build/examples/upgrade-module/libtarn-example-upgrade.so"
for f in "$cli" "$module"; do
  [ -e "$f" ] || { echo "demo: build the project first ($f not found)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "demo: sqlite3 is needed (scripts/install-deps.sh)" >&2; exit 1; }

root="$(mktemp -d "${TMPDIR:-/tmp}/tarn-host-XXXXXX")"
cp -a "$here/host/." "$root/"
cp "$module" "$root/usr/lib/halden/configmanager/upgrade/lib/"
store="$root/etc/halden/configstore/current-store-1"
tcs() { "$cli" --root "$root" "$@"; }
lines() { [ -f "$1" ] && wc -l < "$1" || echo 0; }
section() { printf '\n== %s\n' "$*"; }

# Runs one boot and prints what it did; only this boot's alerts and log lines.
boot() {
  local alerts_before log_before
  alerts_before=$(lines "$root/var/log/sysalerts.log")
  log_before=$(lines "$root/var/log/configstore-boot.log")
  echo "\$ tarn-configstore boot"
  tcs boot
  echo "-- show";         tcs show
  echo "-- boot-mode";    tcs boot-mode
  echo "-- apply-record"; tcs apply-record
  echo "-- system alerts raised"
  tail -n +"$((alerts_before + 1))" "$root/var/log/sysalerts.log" 2>/dev/null | cut -d' ' -f2- || true
  echo "-- boot log"
  tail -n +"$((log_before + 1))" "$root/var/log/configstore-boot.log" | cut -d' ' -f2-
}

echo "host root: $root (a copy of examples/host)"

section "boot 1: a fresh host, first boot after installation (a new store: the boot configuration document is applied)"
boot
echo "-- the installed crates (image crates)"; tcs image crates
echo "-- what the boot registered: schema objects and their files (schemas)"; tcs schemas
echo "-- the default layer (show --defaults)"; tcs show --defaults

section "the host runs: its payloads are mounted, the sticky-bit files to persist are chosen"
# Each payload is packed from its sources and unpacked as the in-memory file
# system mounts it (backing files .#<name>, inode records in the live tree).
for dir in "$here"/payloads/*/; do
  name="$(basename "$dir")"
  tar --format=ustar --mode=+t -C "$dir" -cf "$root/tmp/$name.tar" .
  echo "\$ tarn-configstore unpack-payload tmp/$name.tar $name"; tcs unpack-payload "$root/tmp/$name.tar" "$name"
done
ln -s /etc/sample "$root/etc/ntp"   # a linked directory to a declared file
mkdir -p "$root/etc/operator"       # an operator's file that no tardisk brought
echo "remember the spare disk" > "$root/etc/operator/notes.txt"
cp "$root/etc/operator/notes.txt" "$root/etc/operator/.#notes.txt"
syslog_before=$(lines "$root/var/log/syslog")
candidates=(/etc/netstack/netstack.conf /etc/ntp/ntp.conf /etc/storagecore/devices.conf /etc/netstack/routes.conf
            /opt/netstack/vital/nic-firmware.state /etc/storagecore/multipath.conf /etc/operator/notes.txt /etc/gone.conf)
echo "\$ tarn-configstore filter-sticky ${candidates[*]} | tarn-configstore track-files backup"
tcs filter-sticky "${candidates[@]}" | tcs track-files backup
echo "-- the backup list";      cat "$root/var/run/halden/files/backup-list"
echo "-- the skip-backup list"; cat "$root/var/run/halden/files/skip-backup-list"
echo "-- system log"; tail -n +"$((syslog_before + 1))" "$root/var/log/syslog" | cut -d' ' -f2- | grep "^<3>"

section "the host runs: configuration is written, the boot state recorded, the store backed up"
# /var/run starts empty at every boot: the error file and the file list were this boot's.
rm -f "$root/var/run/halden/files/loadStoreErrors.json" "$root/var/run/nonSchemaFiles"
rm -f "$root/var/lib/halden/firstboot/current-store-1"   # only the first boot has it
# Prints the command line, words with other characters than these in quotes, then runs it.
run() {
  local line='$ tarn-configstore' word
  for word in "$@"; do [[ $word =~ ^[-A-Za-z0-9/_.]+$ ]] && line+=" $word" || line+=" '$word'"; done
  echo "$line"; tcs "$@"
}
run set network/dns/servers '{"servers":["192.0.2.53"]}'
echo "   (the next one is refused: every error is listed and nothing is stored)"
run set 'network/trunk/uplinks[switch0]' '{"mtu":1400,"id":"a1"}' || true
run set 'network/trunk/uplinks[switch0]' '{"mtu":1500}'
# What the host's own services write beside the operator: the vital layer, a
# value desired for the next boot (the boot turns it into the user value), a
# cached state, and an object of a crate whose schema is gone (no schema, so
# 'set' refuses it; an upgrade boot removes it).
sqlite3 "$store" <<'SQL'
UPDATE Config SET VitalValue='{"name":"switch0","id":"a1"}' WHERE Name='uplinks';
UPDATE Config SET DesiredValue='{"name":"switch0","mtu":9000}' WHERE Name='uplinks';
INSERT INTO Config(Component, ConfigGroup, Name, CachedValue, CreationTime)
  VALUES('system', 'runtime', 'uptime', '{"seconds":86400}', datetime(CURRENT_TIMESTAMP));
INSERT INTO Config(Component, ConfigGroup, Name, UserValue, CreationTime)
  VALUES('legacy', 'tuning', 'knobs', '{"fast":true}', datetime(CURRENT_TIMESTAMP));
SQL
run get 'network/trunk/uplinks[switch0]'
run get network/dns/servers
echo "\$ tarn-configstore boot-state cleanup"; tcs boot-state cleanup
echo "\$ tarn-configstore apply-record set 'applied 4 objects'"; tcs apply-record set 'applied 4 objects'
echo "\$ tarn-configstore backup"; tcs backup
tcs show

section "boot 2: the store comes back from the backup"
rm -f "$store"   # the live store is on a RAM disk: gone after a reboot
boot

section "the operator stores a desired configuration for the next boot"
printf '%s\n' '{"profile": {"network": {"switching": {"switches": [{"name": "switch0", "mtu": 100}]},' \
  '"dns": {"servers": {"servers": "192.0.2.53"}}}, "legacy": {}}}' >"$root/tmp/broken-desired.json"
echo "\$ tarn-configstore desired validate tmp/broken-desired.json   (refused: nothing is stored)"
tcs desired validate "$root/tmp/broken-desired.json" || true
echo "\$ tarn-configstore desired set examples/desired/host-desired.json"
tcs desired set "$here/desired/host-desired.json"
echo "-- desired show"; tcs desired show
echo "\$ tarn-configstore backup   (the next boot restores the backup: without it the change would be lost)"
tcs backup >/dev/null
echo "\$ tarn-configstore plan   (what the next boot will do, rehearsed on copies; the host stays as it is)"
tcs plan

section "boot 3: the desired configuration replaces the user configuration of the desired-state objects"
boot
echo "\$ tarn-configstore desired export --file tmp/exported.json   (the configuration as a desired document)"
tcs desired export --file "$root/tmp/exported.json"
cat "$root/tmp/exported.json"
echo "\$ tarn-configstore desired validate tmp/exported.json"
tcs desired validate "$root/tmp/exported.json"

section "boot 4: an upgrade boot to a new image (telemetry comes, hostsvc goes), with the example upgrade module"
cp -a "$here/upgrade-image/." "$root/"
rm -f "$root/var/db/tarnimg/crates/Halden_system_hostsvc_8.0.2-1.20.xml" \
  "$root/usr/lib/halden/configmanager/schemas/hostsvc.json" "$root/etc/halden/default-config/hostsvc.json"
sed -i 's/5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d/9b1d4e77-0c2a-4f55-8e3b-6a7c1d2e3f40/g' "$root/var/run/kno/tree.json"
tcs backup >/dev/null
boot
echo "-- the installed crates and the schema store now"
tcs image crates
tcs schemas
echo "-- what the upgrade module recorded"
sqlite3 "$store" "SELECT LibName, Value FROM UpgradeStatus;"

echo; echo "The host root stays for inspection: $root"
