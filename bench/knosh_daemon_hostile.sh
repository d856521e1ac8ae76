#!/usr/bin/env bash
# The knosh daemon against hostile clients, the full run: 10,000 connections
# (random binary requests of 0 to 4,200 bytes, open quotes, connections
# dropped at once, reset mid-request and mid-reply), then a client that never
# reads. After every 1,000 connections a fresh client must get `pwd` right;
# the daemon's resident memory is printed each time and must not grow past
# the first figure by more than 1 MiB.
#
#   bash bench/knosh_daemon_hostile.sh [BUILD_DIR] [CONNECTIONS]
#
# The daemon listens on a free port of 127.0.0.1 only (--listen, --port), so
# no other address or fixed port of the machine is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-10000}
root=$(mktemp -d)
daemon=
trap '[ -z "$daemon" ] || kill "$daemon" 2>/dev/null; rm -rf "$root"' EXIT
cp examples/kno/sample-tree.json "$root/tree.json"
# A port nobody listens on now; another program may take it before the
# daemon binds, so a start that fails is tried again on another.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
for attempt in 1 2 3 4 5; do
  port=$(free_port)
  if "$build/apps/knosh/frontend/knosh" -d -l -1 -c "$root/tree.json" --listen 127.0.0.1 --port "$port"; then
    break
  fi
  port=
done
[ -n "$port" ] || { echo "daemon not started"; exit 1; }
daemon=$(ss -ltnpH "sport = :$port" | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2)
[ -n "$daemon" ] || { echo "daemon not running"; exit 1; }

python3 - "$daemon" "$count" "$port" <<'PY'
import os, random, socket, struct, sys, time
pid, count, port = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(56303)

def rss():
    with open(f"/proc/{pid}/status") as f:
        return next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))

def ask(request):
    # A waiting client is served within the hold and request limits (90 s).
    s = socket.create_connection(("127.0.0.1", port), timeout=120)
    s.sendall(request)
    reply = b""
    while not reply.endswith(b"<EOM>"):
        chunk = s.recv(65536)
        if not chunk: break
        reply += chunk
    s.close()
    return reply

def hostile(i):
    kind = i % 4
    if kind == 3:  # a crowd of 20 opened at once, dropped before being served
        crowd = [socket.socket() for _ in range(20)]
        for c in crowd:
            c.setblocking(False)
            c.connect_ex(("127.0.0.1", port))
        for c in crowd: c.close()
        return
    s = socket.create_connection(("127.0.0.1", port), timeout=60)
    if kind == 0: s.send(rng.randbytes(rng.randrange(0, 4200)))
    if kind == 1: s.send(b'ls "/net/nics' + rng.randbytes(rng.randrange(0, 100)))
    if kind == 2: s.send(b"ls /net/nics/vnic0 /system /net/nics /system/lumenfs/inodes" * 4)
    if i % 2: s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    s.close()

first = None
start = time.time()
for i in range(count):
    hostile(i)
    if (i + 1) % 1000 == 0:
        assert ask(b"pwd") == b"/\n<EOM>", "pwd wrong after %d connections" % (i + 1)
        now = rss()
        first = first or now
        print(f"{i + 1} connections, {time.time() - start:.0f} s, daemon RSS {now} KiB")
        assert now <= first + 1024, "daemon memory grew"

hog = socket.socket()
hog.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
hog.connect(("127.0.0.1", port))
hog.setblocking(False)
request = b"ls" + b" /net/nics/vnic0" * 255
for _ in range(40):
    try: hog.send(request.ljust(4096))
    except BlockingIOError: break
assert ask(b"pwd") == b"/\n<EOM>", "pwd wrong after the client that never reads"
print(f"client that never reads: dropped, next client served; daemon RSS {rss()} KiB")
hog.close()
PY
