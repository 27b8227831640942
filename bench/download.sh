#!/usr/bin/env bash
# Download benchmark: the loopback installer's own download page, the installer's downloader alone
# (both Windows builds, under Wine) and curl, all fetching the same files from the reference
# download service on loopback in the same run.
#   bench/download.sh [SIZE_MIB...]      (default: 256 1024)
# Reports throughput (and its ratio to curl's) and the working set, idle and peak. The page is
# timed as the user sees it, from "Downloading the setup files..." to "Setup files are ready".
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/common.sh"
sizes=("${@:-256 1024}")
read -r -a sizes <<<"${sizes[*]}"
build=$root/build/windows-bench

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=ON -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target download_bench page_bench kvpro-installer-loopback kv_download_service >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kv-download-bench.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
kv_on_exit cleanup
mkdir -p "$work/files"
for size in "${sizes[@]}"; do
  head -c "$((size * 1048576))" /dev/urandom >"$work/files/bench-$size.bin"
done

# The loopback installer finds the service on its fixed ports.
"$build/download-service/kvpro-download-service" --log "$work/requests.jsonl" --files "$work/files" \
  --primary-port 47801 --secondary-port 47802 --exit-with-parent 1 >"$work/ports" 2>"$work/service.err" &
pid=$!
for _ in $(seq 100); do grep -q '^secondary=' "$work/ports" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^primary=//p' "$work/ports")

# The Windows tree's prefix (common.sh), a private display for the installer's window.
[ -n "${DISPLAY:-}" ] || kv_start_xvfb
kv_start_wine
"$root/scripts/wine-run" "$build/bench/download_bench.exe" "http://127.0.0.1:$port/blob/1" >/dev/null 2>&1 || true

for size in "${sizes[@]}"; do
  url="http://127.0.0.1:$port/files/bench-$size.bin"
  curl_out=$(curl -s -o "$work/curl.bin" -w '%{size_download} %{time_total}' "$url")
  rm -f "$work/curl.bin"
  read -r curl_bytes curl_seconds <<<"$curl_out"
  ours=$("$root/scripts/wine-run" "$build/bench/download_bench.exe" "$url" | tr -d '\r')
  ln -sf "bench-$size.bin" "$work/files/kvpro-trial-setup.exe"
  wine "$build/src/app/kvpro-installer-loopback.exe" >/dev/null 2>&1 &
  page=$(wine "$build/bench/page_bench.exe" "$((size * 1048576))" | tr -d '\r')
  wait $! 2>/dev/null || true
  echo "size=${size}MiB curl: bytes=$curl_bytes seconds=$curl_seconds"
  for line in "downloader $ours" "page $page"; do
    echo "size=${size}MiB $line"
    awk -v cb="$curl_bytes" -v cs="$curl_seconds" -v line="$line" 'BEGIN {
      n = split(line, f, " "); for (i = 2; i <= n; i++) { split(f[i], kv, "="); v[kv[1]] = kv[2] }
      curl = cb / cs / 1048576; printf "  %s: curl %.1f MiB/s, ours %.1f MiB/s, ratio %.2f; working set idle %d KiB, peak %d KiB, growth %.1f MiB\n",
        f[1], curl, v["mib_per_s"], v["mib_per_s"] / curl, v["idle_ws_kib"], v["peak_ws_kib"], (v["peak_ws_kib"] - v["idle_ws_kib"]) / 1024 }'
  done
done
