#!/usr/bin/env bash
# Demonstrates the store on a private host root: creates the store databases,
# writes two configuration objects, shows them, backs the store up online and
# prints what the system logged. Usage: examples/demo.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
cli="$build/tools/tarn-configstore"
[ -x "$cli" ] || { echo "demo: build the project first ($cli not found)" >&2; exit 1; }

root="$(mktemp -d "${TMPDIR:-/tmp}/tarn-demo-XXXXXX")"
echo "host root: $root"
store="$root/etc/halden/configstore/current-store-1"

echo; echo "== create the store databases"
"$cli" --root "$root" create
sqlite3 "$store" ".tables"

echo; echo "== write two configuration objects, then change one (revision rises)"
sqlite3 "$store" <<'SQL'
INSERT INTO Config(Component, ConfigGroup, Name, UserValue, CreationTime)
  VALUES('network', 'dns', 'servers', '{"servers":["192.0.2.53"]}', datetime(CURRENT_TIMESTAMP));
INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, CreationTime)
  VALUES('network', 'vswitch', 'uplinks', 'vSwitch0', '{"mtu":9000}', '{"id":"vSwitch0"}', datetime(CURRENT_TIMESTAMP));
UPDATE Config SET UserValue='{"servers":["192.0.2.53","198.51.100.53"]}' WHERE Name='servers';
SQL
"$cli" --root "$root" show

echo; echo "== back the store up online (what the next boot restores)"
"$cli" --root "$root" backup
sqlite3 "$root/var/lib/halden/configstore/backup/current-store-1" "PRAGMA integrity_check;"

echo; echo "== system log ($root/var/log/syslog)"
cat "$root/var/log/syslog"
echo; echo "The host root stays for inspection: $root"
