#!/usr/bin/env bash
# Measures the statistics transport: a real StatReporter queues N events
# (default 10000) and its worker sends them with the real SendUrl, against
#   (a) a stalled host: a loopback listener that accepts and never answers;
#   (b) a fast host: nginx on loopback answering 200 over HTTPS.
# Prints, per host, the caller's time per SendEvent, the worker's requests per
# second and how long destroying the reporter took. A measurement: exits 0
# unless something fails to start.
#
#   scripts/bench-stats.sh [events] [stalled seconds] [fast seconds]
#
# TX_BENCH_CONTROL=spin (or alloc) replaces every event after the first with a
# control of about the same cost (see tools/stats_bench), to tell the
# caller's own tail from the machine's.
#
# Needs the win64-test preset configured (its test PKI and Wine prefix);
# builds stats_bench when it is missing. Ports: STALL_PORT (18643) and
# FAST_PORT (18644).
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-10000}
stalled_seconds=${2:-20}
fast_seconds=${3:-600}
stall_port=${STALL_PORT:-18643}
fast_port=${FAST_PORT:-18644}
build=build/win64-test
bench=$build/tools/stats_bench/stats_bench.exe

[ -f "$build/build.ninja" ] || { echo "configure the win64-test preset first" >&2; exit 1; }
[ -f "$bench" ] || flock /tmp/tx-build.lock cmake --build "$build" --target stats_bench
[ -f "$build/pki/server.pem" ] || flock /tmp/tx-build.lock cmake --build "$build" --target tx_test_pki

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for_port() {
  for _ in $(seq 100); do
    ss -ltn "sport = :$1" | grep -q LISTEN && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  exit 1
}

run_bench() {  # label host seconds
  echo "== $1 (host $2, at most $3 s of sending)"
  "$build/wine-run" "$bench" "$2" "$events" "$3" | tr -d '\r'
}

# (a) Accepts connections and holds them without reading a byte.
/usr/bin/python3 -c '
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(1024)
held = []
while True:
    held.append(listener.accept()[0])
' "$stall_port" &
pids+=($!)
wait_for_port "$stall_port"
run_bench "stalled host" "localhost:$stall_port" "$stalled_seconds"

# (b) nginx answering every statistics request with an empty 200.
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  server {
    listen 127.0.0.1:$fast_port ssl;
    server_name localhost;
    ssl_certificate $(realpath "$build/pki/server.pem");
    ssl_certificate_key $(realpath "$build/pki/server.key");
    location /installstats/send/ { return 200; }
  }
}
CONF
/usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
pids+=($!)
wait_for_port "$fast_port"
run_bench "fast host" "localhost:$fast_port" "$fast_seconds"
echo "server_requests=$(grep -c ' /installstats/send/' "$work/nginx/access.log" || true)"
