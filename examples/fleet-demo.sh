#!/usr/bin/env bash
# A fleet of sample hosts taking their desired configuration from etcd: starts
# a three-member etcd cluster on loopback, makes HOSTS copies of the sample
# host (examples/host), each booted once and with its agent
# (tarn-configstore agent), rolls examples/desired/host-desired.json out with
# one canary, shows the fleet's status, boots every host, waits until every
# host applied the document and shows the status again. Every process it
# started is stopped at the end; the directory stays for inspection.
# Usage: examples/fleet-demo.sh [BUILD_DIR] [HOSTS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
hosts="${2:-4}"
cli="$build/tools/tarn-configstore"
fleet_tool="$build/tools/tarn-fleet"
for f in "$cli" "$fleet_tool"; do
  [ -x "$f" ] || { echo "fleet-demo: build the project first ($f not found)" >&2; exit 1; }
done
command -v etcd >/dev/null || { echo "fleet-demo: etcd is needed (scripts/install-deps.sh)" >&2; exit 1; }

dir="$(mktemp -d "${TMPDIR:-/tmp}/tarn-fleet-XXXXXX")"
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  echo "stopped ${#pids[@]} processes; the demo's files are in $dir"
}
trap stop_all EXIT
section() { printf '\n== %s\n' "$*"; }

# Six loopback ports nobody listens on: three for clients, three for peers.
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}
client=() peer=()
for m in 0 1 2; do client+=("$(free_port)"); peer+=("$(free_port)"); done
initial="m0=http://127.0.0.1:${peer[0]},m1=http://127.0.0.1:${peer[1]},m2=http://127.0.0.1:${peer[2]}"
endpoints="http://127.0.0.1:${client[0]},http://127.0.0.1:${client[1]},http://127.0.0.1:${client[2]}"

section "etcd: three members on loopback ($endpoints)"
for m in 0 1 2; do
  etcd --name "m$m" --data-dir "$dir/etcd/m$m" \
    --listen-client-urls "http://127.0.0.1:${client[$m]}" --advertise-client-urls "http://127.0.0.1:${client[$m]}" \
    --listen-peer-urls "http://127.0.0.1:${peer[$m]}" --initial-advertise-peer-urls "http://127.0.0.1:${peer[$m]}" \
    --initial-cluster "$initial" --initial-cluster-state new --initial-cluster-token tarn-demo \
    > "$dir/etcd-m$m.log" 2>&1 &
  pids+=("$!")
done
tf() { "$fleet_tool" --etcd "$endpoints" --fleet demo "$@"; }
for _ in $(seq 100); do tf status >/dev/null 2>&1 && break; sleep 0.2; done

section "$hosts sample hosts, each booted once, each with its agent"
for i in $(seq "$hosts"); do
  root="$dir/hosts/host$i"
  mkdir -p "$root"
  cp -a "$here/host/." "$root/"
  "$cli" --root "$root" boot > "$dir/host$i-boot1.out" 2>&1
  "$cli" --root "$root" agent --etcd "$endpoints" --fleet demo --host "host$i" > "$dir/host$i-agent.out" 2>&1 &
  pids+=("$!")
  echo "host$i: $root"
done
for _ in $(seq 100); do
  [ "$(tf status --json | grep -o '"alive":true' | wc -l)" -eq "$hosts" ] && break
  sleep 0.2
done

section "tarn-fleet rollout examples/desired/host-desired.json --canary 1"
tf rollout "$here/desired/host-desired.json" --canary 1 --timeout 60
section "tarn-fleet status"
tf status
section "tarn-fleet plan"
tf plan

section "every host boots"
for i in $(seq "$hosts"); do
  "$cli" --root "$dir/hosts/host$i" boot > "$dir/host$i-boot2.out" 2>&1
  echo "host$i booted"
done
revision=$(tf status --json | sed -n 's/.*"fleet":\([0-9]*\).*/\1/p')
section "tarn-fleet wait --applied $revision"
tf wait --applied "$revision" --timeout 60
section "tarn-fleet status"
tf status
