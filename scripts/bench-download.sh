#!/usr/bin/env bash
# Measures the download floor: nginx serves one file over TLS on loopback, and
# each round downloads it with the installer's engine (DownloadUrl into a
# FileSink), with a bare WinINet loop (InternetOpenUrlW + InternetReadFile
# into a file) and with curl. Prints every round, then the medians of the
# throughputs, the engine-to-bare ratio and each one's peak memory. A
# measurement: exits 0 whether the target is met or not, non-zero only when a
# download fails or something does not start.
#
#   scripts/bench-download.sh [rounds] [MiB]      (defaults 5 and 256)
#
# Needs the win64-test preset configured; builds download_bench when it is
# missing. Port: DOWNLOAD_PORT (18645).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
mib=${2:-256}
port=${DOWNLOAD_PORT:-18645}
target_ratio=0.95
build=build/win64-test
bench=$build/tools/download_bench/download_bench.exe

[ -f "$build/build.ninja" ] || { echo "configure the win64-test preset first" >&2; exit 1; }
[ -f "$bench" ] || flock /tmp/tx-build.lock cmake --build "$build" --target download_bench
[ -f "$build/pki/server.pem" ] || flock /tmp/tx-build.lock cmake --build "$build" --target tx_test_pki
for tool in /usr/sbin/nginx curl /usr/bin/time; do
  command -v "$tool" > /dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -z "$nginx_pid" ] || kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

head -c $((mib * 1048576)) /dev/urandom > "$work/bench.bin"
mkdir -p "$work/nginx"
# Started by root, nginx would hand its workers to "nobody", who may not read
# the private folder: they stay with the current user.
user_line=
[ "$(id -u)" -ne 0 ] || user_line="user $(id -un) $(id -gn);"
cat > "$work/nginx/nginx.conf" <<CONF
$user_line
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port ssl;
    server_name localhost;
    ssl_certificate $(realpath "$build/pki/server.pem");
    ssl_certificate_key $(realpath "$build/pki/server.key");
    root $work;
  }
}
CONF
/usr/sbin/nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 100); do
  ss -ltn "sport = :$port" | grep -q LISTEN && break
  sleep 0.1
done
ss -ltn "sport = :$port" | grep -q LISTEN || { echo "nginx did not start" >&2; exit 1; }

url=https://localhost:$port/bench.bin
out_windows="Z:$(echo "$work/out.bin" | tr / '\\')"
size=$(stat -c %s "$work/bench.bin")
echo "file_bytes=$size ($mib MiB), url=$url, rounds=$rounds"

# One download: prints "seconds peak_kb". The Windows program times itself
# (Wine's start-up is not the download's); curl reports its own total time.
# Peak memory is the process's maximum resident set, from GNU time.
run_one() {  # engine|bare|curl
  local output seconds peak
  rm -f "$work/out.bin"
  if [ "$1" = curl ]; then
    output=$(/usr/bin/time -f "peak_kb=%M" -o "$work/time.txt" \
      curl -sS --fail --cacert "$build/pki/ca.pem" -o "$work/out.bin" -w 'seconds=%{time_total}\n' "$url")
  else
    output=$(/usr/bin/time -f "peak_kb=%M" -o "$work/time.txt" \
      "$build/wine-run" "$bench" "$1" "$url" "$out_windows" | tr -d '\r')
  fi
  seconds=$(echo "$output" | sed -n 's/^seconds=//p')
  peak=$(sed -n 's/^peak_kb=//p' "$work/time.txt")
  if [ "$(stat -c %s "$work/out.bin" 2>/dev/null || echo 0)" != "$size" ] ||
     ! cmp -s "$work/out.bin" "$work/bench.bin"; then
    echo "$1: the downloaded file differs from the served one" >&2
    echo "$output" >&2
    exit 1
  fi
  echo "$seconds $peak"
}

# Warms the page cache, nginx and the Wine prefix; not counted.
run_one bare > /dev/null
declare -A seconds peaks
kinds=(engine bare curl)
for round in $(seq "$rounds"); do
  line="round $round:"
  # The order turns each round so that no one always runs first.
  for i in 0 1 2; do
    kind=${kinds[$(((i + round) % 3))]}
    result=$(run_one "$kind")
    read -r s p <<< "$result"
    seconds[$kind]+="$s "
    peaks[$kind]+="$p "
    line+=" $kind $(awk -v b="$size" -v s="$s" 'BEGIN { printf "%.1f MiB/s", b / 1048576 / s }') ($p KiB)"
  done
  echo "$line"
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for kind in "${kinds[@]}"; do
  s=$(echo "${seconds[$kind]}" | median)
  p=$(echo "${peaks[$kind]}" | median)
  awk -v k="$kind" -v b="$size" -v s="$s" -v p="$p" \
    'BEGIN { printf "%s_mib_per_s=%.1f %s_seconds=%.3f %s_peak_kib=%d\n", k, b / 1048576 / s, k, s, k, p }'
  eval "median_s_$kind=$s median_p_$kind=$p"
done
# Throughput ratio: bare time over engine time (above 1, the engine is faster).
awk -v e="$median_s_engine" -v b="$median_s_bare" -v c="$median_s_curl" \
    -v pe="$median_p_engine" -v pb="$median_p_bare" -v target="$target_ratio" 'BEGIN {
  ratio = b / e
  printf "ratio_engine_to_bare=%.3f (target >= %s)\n", ratio, target
  printf "ratio_bare_to_curl=%.3f\n", c / b
  printf "peak_engine_minus_bare_kib=%d (target <= 4096)\n", pe - pb
  print (ratio >= target && pe - pb <= 4096 ? "target: MET" : "target: MISSED")
}'
