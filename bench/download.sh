#!/usr/bin/env bash
# Download benchmark: the installer's downloader (Windows build, under Wine) against curl, both
# fetching the same files from the reference download service on loopback in the same run.
#   bench/download.sh [SIZE_MIB...]      (default: 256 1024)
# Reports throughput (and its ratio to curl's) and the working set, idle and peak.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sizes=("${@:-256 1024}")
read -r -a sizes <<<"${sizes[*]}"
build=$root/build/windows-bench

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=ON -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target download_bench kv_download_service >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kv-download-bench.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/files"
for size in "${sizes[@]}"; do
  head -c "$((size * 1048576))" /dev/urandom >"$work/files/bench-$size.bin"
done

"$build/download-service/kvpro-download-service" --log "$work/requests.jsonl" --files "$work/files" \
  --exit-with-parent 1 >"$work/ports" 2>"$work/service.err" &
pid=$!
for _ in $(seq 100); do grep -q '^secondary=' "$work/ports" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^primary=//p' "$work/ports")

# WINEPREFIX of the Windows tree, so the benchmark needs no prefix of its own.
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}
"$root/scripts/wine-run" "$build/bench/download_bench.exe" "http://127.0.0.1:$port/blob/1" >/dev/null 2>&1 || true

for size in "${sizes[@]}"; do
  url="http://127.0.0.1:$port/files/bench-$size.bin"
  curl_out=$(curl -s -o "$work/curl.bin" -w '%{size_download} %{time_total}' "$url")
  rm -f "$work/curl.bin"
  read -r curl_bytes curl_seconds <<<"$curl_out"
  ours=$("$root/scripts/wine-run" "$build/bench/download_bench.exe" "$url" | tr -d '\r')
  echo "size=${size}MiB curl: bytes=$curl_bytes seconds=$curl_seconds"
  echo "size=${size}MiB ours: $ours"
  awk -v cb="$curl_bytes" -v cs="$curl_seconds" -v ours="$ours" 'BEGIN {
    n = split(ours, f, " "); for (i = 1; i <= n; i++) { split(f[i], kv, "="); v[kv[1]] = kv[2] }
    curl = cb / cs / 1048576; printf "size throughput: curl %.1f MiB/s, ours %.1f MiB/s, ratio %.2f; working set idle %d KiB, peak %d KiB, growth %.1f MiB\n",
      curl, v["mib_per_s"], v["mib_per_s"] / curl, v["idle_ws_kib"], v["peak_ws_kib"], (v["peak_ws_kib"] - v["idle_ws_kib"]) / 1024 }'
done
