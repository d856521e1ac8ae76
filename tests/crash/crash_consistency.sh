#!/usr/bin/env bash
# Crash consistency: a kill at any instant loses no committed row.
# Boots the sample host on a private root, seeds the stores, backs them up,
# then SIGKILLs each writing CLI command at a random moment of its run and
# checks that every database is whole, that the next boot succeeds without
# discarding a backup, and that every row that must survive did.
# Usage: tests/crash/crash_consistency.sh [CLI|BUILD_DIR] [KILLS_PER_COMMAND]
# Env: TARN_CLI, CRASH_KILLS, CRASH_SEED (repeats a run's kill moments),
# CRASH_COMMANDS (comma-separated, default: every writing command).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)" trial=crash
. "$here/trial.sh"
trial_setup "${1:-${TARN_CLI:-$here/../../build}}" sqlite3
kills="${2:-${CRASH_KILLS:-8}}"
seed="${CRASH_SEED:-$$}"
RANDOM=$seed

pristine="$top/pristine" raw="$top/raw" snap="$top/snap"
live=etc/halden/configstore/current-store-1 dfs=etc/halden/configstore/datafile-store
schema=etc/halden/schemastore/schema-store-1 bkp=var/lib/halden/configstore/backup
gens=var/lib/halden/configstore/backup/generations
databases=("$live" "$dfs" "$schema" "$bkp/current-store-1" "$bkp/datafile-store")
# Columns that no command under test may change for a surviving row (a boot
# bumps Revision and ModifiedTime, clears AutoConfValue, resets Success).
config_cols="Component,ConfigGroup,Name,Identifier,CreationTime,Version,UserValue,VitalValue,CachedValue"
has_schema="(Component,ConfigGroup,Name) IN (SELECT Component,ConfigGroup,Name FROM ss.ConfigSchema)"
dfs_has_schema="(Component,Key) IN (SELECT Component,Key FROM ss.DataFileSchema)"
exec {never}<> <(:)  # a descriptor that never delivers: `read -t` sleeps without a process

sql() { sqlite3 -quote -cmd '.timeout 3000' "$@"; }
now_us() { local t; t=$(date +%s%N); echo $((t / 1000)); }
# Sorted rows of a database under DIR: config|dfs [WHERE-clause on the schema store].
rows() {
  local dir=$1 what=$2 where=${3:+WHERE $3}
  if [ "$what" = config ]; then
    sql "$dir/$live" "ATTACH '$dir/$schema' AS ss;" "SELECT $config_cols FROM Config $where;"
  else
    sql "$dir/$dfs" "ATTACH '$dir/$schema' AS ss;" "SELECT * FROM DataFileMetadata $where;"
  fi | LC_ALL=C sort
}
# Number of lines of the sorted file $1 that are not in the sorted file $2.
missing() { LC_ALL=C comm -23 "$1" "$2" | wc -l; }

# --- the known state: booted once, seeded, backed up, booted from the backup
cp -a "$here/../../examples/host/." "$root/"
module="$(dirname "$cli")/../examples/upgrade-module/libtarn-example-upgrade.so"
[ -e "$module" ] && cp "$module" "$root/usr/lib/halden/configmanager/upgrade/lib/"
tcs boot >/dev/null || die "first boot failed"
# Generation 1, the store before seeding: what `rollback` brings back (with the
# boot file system recorded, so that booting it is no upgrade boot).
tcs boot-state cleanup >/dev/null && tcs backup >/dev/null || die "the first backup failed"
rows "$root" config >"$top/config.gen1"
# /var/run starts empty at every boot; only the first boot has the marker.
rm -f "$root/var/run/halden/files/loadStoreErrors.json" "$root/var/run/nonSchemaFiles" \
  "$root/var/lib/halden/firstboot/current-store-1"
# Objects with and without a schema, singleton-keyed and instances, with every
# value layer that survives a boot; some carry an auto-configured value too.
sql "$root/$live" >/dev/null <<'SQL' || die "seeding the configuration store failed"
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)
INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, CachedValue, AutoConfValue,
                   Version, CreationTime)
SELECT CASE i % 4 WHEN 0 THEN 'network' WHEN 1 THEN 'legacy' WHEN 2 THEN 'system' ELSE 'crash' END,
       CASE i % 4 WHEN 0 THEN 'trunk' WHEN 1 THEN 'tuning' WHEN 2 THEN 'runtime' ELSE 'seed' END,
       CASE i % 4 WHEN 0 THEN 'uplinks' WHEN 1 THEN 'knobs' WHEN 2 THEN 'uptime' ELSE 'row' END,
       'id-' || i,
       CASE WHEN i % 3 <> 2 THEN '{"n":' || i || ',"pad":"' || hex(randomblob(48)) || '"}' END,
       CASE WHEN i % 5 = 0 THEN '{"vital":' || i || '}' END,
       CASE WHEN i % 3 = 2 THEN '{"cached":' || i || '}' END,
       CASE WHEN i % 7 = 0 THEN '{"auto":' || i || '}' END,
       '1.' || (i % 9), datetime(CURRENT_TIMESTAMP, '-' || i || ' minutes')
FROM n;
SQL
sql "$root/$dfs" >/dev/null <<'SQL' || die "seeding the data-file store failed"
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)
INSERT INTO DataFileMetadata(Component, Key, DirName, FileName)
SELECT 'sample', 'key' || (i % 20), 'dir' || (i % 20), CASE WHEN i <= 5 THEN '' ELSE 'file' || i END FROM n;
SQL
tcs boot-state cleanup >/dev/null && tcs backup >/dev/null && tcs backup "$root/$dfs" "$root/$bkp/datafile-store" \
  >/dev/null || die "the good backup failed"
rows "$root" config >"$top/config.backup"  # what the backup holds (copied from the live store)
rows "$root" dfs >"$top/dfs.backup"
tcs boot >/dev/null || die "boot from the good backup failed"
rows "$root" config | cmp -s - "$top/config.backup" || die "a normal boot changed the seeded rows"
rows "$root" dfs | cmp -s - "$top/dfs.backup" || die "a normal boot changed the data-file rows"
# The host goes on writing after the backup, in a layout of its own (larger
# values split pages): a boot that restores must show the backup's rows, not these.
sql "$root/$live" "UPDATE Config SET UserValue = '{\"later\":\"' || hex(randomblob(200)) || '\"}' WHERE rowid % 2 = 0;" ||
  die "writing after the backup failed"
rows "$root" config "$has_schema" >"$top/config.schema"
# For process-schemas and refresh: the sample crate's defaults written once, then changed; a new crate's
# schema file (mutable defaults, copied into Config) and defaults added. DefaultConfig must stay whole.
schemadir="$root/usr/lib/halden/configmanager/schemas" defaultdir="$root/etc/halden/default-config"
gen() { sqlite3 :memory: "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1) $2" >"$3"; }
uplinks() { gen 300 "SELECT json_object('data', json_array(json_object('component', 'network', 'group', 'trunk',
  'key', 'uplinks', 'config', json_group_array(json_object('name', 'up-' || i, 'mtu', $1, 'id', 'v'))))) FROM n;" \
  "$defaultdir/crash-uplinks.json"; }
crate_ids() { for f in "$schemadir"/*.json; do sqlite3 :memory: "SELECT 'acme_crate_' || json_extract(readfile('$f'),
  '\$.metadata.cratename') || '_' || replace(json_extract(readfile('$f'), '\$.metadata.crateversion'), '_', '-');"; done; }
mkdir -p "$defaultdir" && uplinks 1500 && tcs process-schemas $(crate_ids) >/dev/null 2>&1
uplinks 9000
gen 5 "SELECT json_object('metadata', json_object('cratename', 'crash-extra', 'crateversion', '1.0'), 'data',
  json_group_array(json_object('component', 'crashdef', 'group', 'g', 'key', 'k' || i, 'version', '1.0', 'idField',
  'name', 'mutableDefaultConfig', json('true'), 'schema', json('{\"type\": \"object\", \"properties\": {
  \"name\": {\"type\": \"string\"}, \"v\": {\"type\": \"string\", \"vital\": true}}}')))) FROM n;" \
  "$schemadir/crash-extra.json"
gen 500 "SELECT json_object('data', json_group_array(json(e))) FROM (SELECT json_object('component', 'crashdef',
  'group', 'g', 'key', 'k' || (i % 5 + 1), 'config', json_group_array(json_object('name', 'k-' || i, 'v', 'x'))) AS e
  FROM n GROUP BY i % 5);" "$defaultdir/crash-extra.json"
crates="$(crate_ids | tr '\n' ' ')"
# For desired set: a document of many instances, stored in one transaction.
desired="$root/tmp/crash-desired.json"
gen 2000 "SELECT json_object('profile', json_object('network', json_object('trunk', json_object('uplinks',
  json_group_array(json_object('name', 'up-' || i, 'mtu', 9000)))))) FROM n;" "$desired"
# Generated identifiers are new in every run, so they are compared as one.
defaults() {
  sql "$1/$live" "SELECT Component,ConfigGroup,Name,Identifier,Value,VitalValue,CachedValue,Version FROM DefaultConfig;" |
    sed -E 's/[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}/<generated>/g' | LC_ALL=C sort
}
defaults "$root" >"$top/defaults.before"
for kind in config dfs; do rows "$root" $kind >"$top/$kind.live"; done
rows "$root" dfs "$dfs_has_schema" >"$top/dfs.schema"
[ "$(wc -l <"$top/config.backup")" -ge 3000 ] && [ "$(wc -l <"$top/config.schema")" -lt 3000 ] ||
  die "the seed needs objects both with and without a schema"
rm -f "$root"/var/log/*.log
cp -a "$root" "$pristine"

# --- the commands; what must survive each one in the live store before the next boot
module_arg=
[ -e "$module" ] && module_arg="--module $root/usr/lib/halden/configmanager/upgrade/lib/$(basename "$module")"
default_commands="boot,backup,rollback,cleanup store,cleanup live-store,cleanup autoconf,cleanup datafiles"
default_commands+=",boot-mode 0,apply-record set crash-test"
refresh_args=
for c in $crates; do refresh_args+=" --crate $c"; done
default_commands+=",process-schemas $crates,refresh$refresh_args $module_arg"
default_commands+=",desired set $desired,desired set --smartnic $here/../../examples/desired/smartnic-desired.json,plan"
IFS=, read -ra commands <<<"${CRASH_COMMANDS:-$default_commands}"
survivors() {
  case "$1" in
  boot) echo "" ;;  # the live store is rebuilt from the backup
  "cleanup store" | "cleanup live-store") echo "config.schema dfs.schema" ;;
  "cleanup datafiles") echo "config.live dfs.kept" ;;  # the rows an undisturbed run keeps
  *) echo "config.live dfs.live" ;;
  esac
}
reset_root() { rm -rf "$root" && cp -a "$pristine" "$root"; }

# Typical run time in microseconds: the slowest of three undisturbed runs.
measure() {
  local max=0 t0 t i
  for i in 1 2 3; do
    reset_root && t0=$(now_us) && { tcs $1 >/dev/null 2>&1 || die "$1 failed undisturbed"; t=$(($(now_us) - t0)); }
    [ "$t" -gt "$max" ] && max=$t
  done
  defaults "$root" >"$top/defaults.${1%% *}"  # what an undisturbed run rebuilds
  rows "$root" dfs >"$top/dfs.kept"           # and keeps
  echo "$max"
}

# Starts the command in its own process group (boot runs cp and rm) and kills
# the whole group after DELAY microseconds.
kill_after() {
  local pid n=0
  setsid "$cli" --root "$root" $1 >/dev/null 2>&1 &
  pid=$!
  read -r -t "$(printf '%d.%06d' $(($2 / 1000000)) $(($2 % 1000000)))" -u "$never"
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  while kill -0 -- "-$pid" 2>/dev/null && [ $((n += 1)) -lt 500 ]; do read -r -t 0.01 -u "$never"; done
}

# Checks one kill; prints "torn lost discarded failed" and keeps the state of
# the first failing kill of a command.
check() {
  local cmd=$1 torn=0 lost=0 discarded=0 bootfail=0 db f kind n m
  # What the next reader finds, hot journals included; checked on a copy,
  # since reading rolls a hot journal back.
  rm -rf "$raw" "$snap" && cp -a "$root" "$raw" && cp -a "$raw" "$snap"
  for db in "${databases[@]}"; do
    # A boot killed in its restore leaves the live stores missing or half
    # copied; the next boot copies them anew from the backups (checked below).
    [ "$cmd" = boot ] && { [ "$db" = "$live" ] || [ "$db" = "$dfs" ]; } && continue
    [ -e "$snap/$db" ] && [ "$(sql "$snap/$db" 'PRAGMA integrity_check;' 2>&1)" = "'ok'" ] || torn=1
  done
  # Every numbered generation is whole: it passes the check and holds exactly
  # the rows of a state that was backed up (before seeding, seeded, or later).
  for f in "$snap/$gens"/*; do
    case "${f##*/}" in *[!0-9]*) continue ;; esac
    [ "$(sql "$f" 'PRAGMA integrity_check;' 2>&1)" = "'ok'" ] || { torn=1; continue; }
    sql "$f" "SELECT $config_cols FROM Config;" | LC_ALL=C sort >"$top/gen"
    cmp -s "$top/gen" "$top/config.gen1" || cmp -s "$top/gen" "$top/config.backup" ||
      cmp -s "$top/gen" "$top/config.live" || torn=1
  done
  # DefaultConfig is rebuilt in one transaction: as before, or all of it.
  case "$cmd" in process-schemas* | refresh*)
    defaults "$snap" >"$top/defaults.now" 2>/dev/null
    cmp -s "$top/defaults.now" "$top/defaults.before" || cmp -s "$top/defaults.now" "$top/defaults.${cmd%% *}" || torn=1
  esac
  for f in $(survivors "$cmd"); do
    lost=$((lost + $(missing "$top/$f" <(rows "$snap" "${f%%.*}" 2>/dev/null))))
  done
  tcs boot >"$top/boot.out" 2>&1 || bootfail=1
  grep -qh "is inconsistent" "$root"/var/log/*.log 2>/dev/null && discarded=1
  for db in "$live" "$dfs"; do
    [ "$(sql "$root/$db" 'PRAGMA integrity_check;' 2>&1)" = "'ok'" ] || torn=1
  done
  # The boot restores the good backup, or the live rows that a finished backup took.
  for kind in config dfs; do
    rows "$root" "$kind" >"$top/after" 2>/dev/null
    n=$(missing "$top/$kind.backup" "$top/after")
    [ "$cmd" = backup ] && m=$(missing "$top/$kind.live" "$top/after") && [ "$m" -lt "$n" ] && n=$m
    # A rollback puts generation 1 in place of the configuration-store backup, or not yet.
    [ "$cmd" = rollback ] && [ $kind = config ] && m=$(missing "$top/config.gen1" "$top/after") && [ "$m" -lt "$n" ] && n=$m
    lost=$((lost + n))
  done
  echo "$torn $lost $discarded $bootfail"
}

passed=0 failed=0
echo "crash: $kills kills per command, seed $seed, cli $cli"
for cmd in "${commands[@]}"; do
  # The command's words up to its first path or crate identifier.
  label=$(awk '{l = $1; for (i = 2; i <= NF && $i !~ /[\/_]/; i++) l = l " " $i; print l (i <= NF ? " ..." : "")}' <<<"$cmd")
  name=$(tr -cs 'a-z0-9\n' - <<<"${label% ...}")
  run=$(measure "$cmd") || exit 2
  case "$cmd" in process-schemas* | refresh*)
    cmp -s "$top/defaults.before" "$top/defaults.${cmd%% *}" && die "$cmd rebuilt no new default configuration"
  esac
  budget=$((run * 5 / 4 + 1))
  t=0 l=0 d=0 b=0 bad=0
  for ((k = 1; k <= kills; k++)); do
    reset_root
    kill_after "$cmd" $(((RANDOM << 15 | RANDOM) % budget))
    read -r torn lost discarded bootfail < <(check "$cmd")
    t=$((t + torn)) l=$((l + lost)) d=$((d + discarded)) b=$((b + bootfail))
    if [ $((torn + lost + discarded + bootfail)) -eq 0 ]; then passed=$((passed + 1)); continue; fi
    failed=$((failed + 1)) bad=$((bad + 1))
    [ "$bad" -eq 1 ] && cp -a "$raw" "$top/failed-$name" && cp -a "$root" "$top/failed-$name.after-boot" &&
      cp "$top/boot.out" "$top/failed-$name.after-boot/"
  done
  printf '%-28s kills %d, torn stores %d, lost rows %d, discarded backups %d, failed boots %d (run %d us)\n' \
    "$label:" "$kills" "$t" "$l" "$d" "$b" "$run"
done

[ "$failed" -eq 0 ] && rm -rf "$top" ||
  echo "crash: failing states kept (the root as the kill left it, and after the next boot with its output): $top/failed-*"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
