#!/usr/bin/env bash
# The manual pages and the bash completion cover what the programs' --help
# lists today: every command and every option.
# Usage: tests/docs/operator_docs.sh TARN_CONFIGSTORE KNOSH
set -uo pipefail
cli=$1 knosh=$2 top="$(cd "$(dirname "$0")/../.." && pwd)" failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
page() { sed 's/\\-/-/g; s/\\f[BIRP]//g' "$top/docs/man/$1.8"; }
# Entries of a page: the first word of each line after .TP.
entries() { page "$1" | awk 'tp {sub(/^\.B /, ""); print $1} {tp = ($0 == ".TP")}'; }
options() { grep -o -- '\(^\|[ [|]\)--\?[a-zA-Z][-a-z]*' | grep -o -- '-.*' | sort -u; }

commands=$("$cli" --help | awk '/^commands:/ {on = 1; next} on && !NF {exit} on {print $1}')
[ -n "$commands" ] || fail "no commands in tarn-configstore --help"
# Held in variables: grep -q ends early, which pipefail would count against a pipe.
cli_page=$(page tarn-configstore) cli_entries=$(entries tarn-configstore) knosh_page=$(page knosh)
for c in $commands; do
  grep -qx -- "$c" <<<"$cli_entries" || fail "tarn-configstore(8) has no entry for $c"
done
for o in $({ "$cli" --help; for c in $commands; do "$cli" "$c" --help | head -1; done; } | options); do
  grep -q -- "$o\b" <<<"$cli_page" || fail "tarn-configstore(8) does not name $o"
done
for o in $("$knosh" --help | options); do
  grep -q -- "$o\b" <<<"$knosh_page" || fail "knosh(8) does not name $o"
done

# Completion: the commands, generation numbers from the store, knosh's options.
source "$top/tools/completion/tarn-configstore.bash"
source "$top/tools/completion/knosh.bash"
complete_words() { COMP_WORDS=("${@:2}"); COMP_CWORD=$(($# - 2)); COMPREPLY=(); "$1"; printf '%s\n' "${COMPREPLY[@]}"; }
root=$(mktemp -d) && trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/halden/configstore/backup/generations"
for n in 3 4; do sqlite3 "$root/var/lib/halden/configstore/backup/generations/$n" 'CREATE TABLE t(x);'; done
offered=$(complete_words _tarn_configstore "$cli" "")
for c in $commands --version; do grep -qx -- "$c" <<<"$offered" || fail "completion misses $c"; done
[ "$(complete_words _tarn_configstore "$cli" --root "$root" rollback "" | grep -x '[0-9]*' | xargs)" = "3 4" ] ||
  fail "completion of rollback does not offer the generations 3 4"
[ "$(complete_words _tarn_configstore "$cli" backup --ke)" = "--keep" ] || fail "completion misses backup --keep"
offered=$(complete_words _knosh "$knosh" -)
for o in $("$knosh" --help | options); do grep -qx -- "$o" <<<"$offered" || fail "knosh completion misses $o"; done
exit $failed
