# What the trials share, sourced once `trial` (their name in messages) is set.
# trial_setup PROGRAM TOOL...: cli from a build directory or the program; the
# trial stops when it or a tool is missing. Its files go under top, the host
# under root.
trial_setup() {
  cli=$1
  shift
  [ -d "$cli" ] && cli="$cli/tools/tarn-configstore"
  [ -x "$cli" ] || { echo "$trial: no tarn-configstore at $cli" >&2; exit 2; }
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$trial: $tool is needed (scripts/install-deps.sh)" >&2; exit 2; }
  done
  top="$(mktemp -d "${TMPDIR:-/tmp}/tarn-$trial-XXXXXX")" root="$top/host"
}
sql() { sqlite3 -cmd '.timeout 3000' "$@"; }
tcs() { "$cli" --root "$root" "$@"; }
die() { echo "$trial: $*; kept: $top" >&2; exit 2; }
