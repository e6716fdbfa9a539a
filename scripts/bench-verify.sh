#!/usr/bin/env bash
# Measures what verifying a setup archive costs: the installer's whole check
# (Installer::VerifyArchive) against one bare WinVerifyTrust call on the same
# 150 MiB signed archive, both under wine64, and that call against sha256sum
# of the file on Linux. A measurement: exits 0 whether the target is met or
# not, non-zero only when something fails or the archive is refused.
#
#   scripts/bench-verify.sh [repetitions]      (default 5)
#
# Needs the win64-test preset configured and built; builds its own targets
# (verify_bench, verify_bench_archive) when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
target_ratio=1.1
build=build/win64-test
bench=$build/tools/verify_bench/verify_bench.exe
archive=$build/tools/verify_bench/bench-setup.arc

[ -f "$build/build.ninja" ] || { echo "configure and build the win64-test preset first" >&2; exit 1; }
[ -f "$bench" ] || flock /tmp/tx-build.lock cmake --build "$build" --target verify_bench
[ -f "$archive" ] || flock /tmp/tx-build.lock cmake --build "$build" --target verify_bench_archive

size=$(stat -c %s "$archive")
echo "archive=$archive"
echo "archive_bytes=$size ($(awk -v b="$size" 'BEGIN { printf "%.1f MiB", b / 1048576 }'))"

# The program prints key=value lines (with CRLF endings); it fails when the
# archive is refused, which the check below reports after its output.
output=$("$build/wine-run" "$bench" "Z:$(realpath "$archive" | tr / '\\')" "$repetitions" |
  tr -d '\r') || true
echo "$output"
value() { echo "$output" | sed -n "s/^$1=//p"; }
[ "$(value accepted)" = 1 ] || { echo "the archive was not accepted" >&2; exit 1; }

# sha256sum: one untimed run to warm the cache, as the Windows side does.
sha256sum "$archive" > /dev/null
times=()
for _ in $(seq "$repetitions"); do
  start=$(date +%s%N)
  sha256sum "$archive" > /dev/null
  times+=($(( $(date +%s%N) - start )))
done
sha256_ms=$(printf '%s\n' "${times[@]}" | sort -n |
  awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m / 1e6 }')
echo "sha256sum_ms=$sha256_ms"

awk -v full="$(value verify_archive_ms)" -v bare="$(value bare_winverifytrust_ms)" \
    -v sha="$sha256_ms" -v target="$target_ratio" 'BEGIN {
  ratio = full / bare
  printf "ratio_verify_archive_to_bare=%.2f (target <= %s)\n", ratio, target
  printf "ratio_bare_to_sha256sum=%.2f\n", bare / sha
  print (ratio <= target ? "target: MET" : "target: MISSED")
}'
