#!/usr/bin/env bash
# Download benchmark: the loopback installer's own download page, the installer's downloader alone,
# a bare WinHTTP loop (all three Windows builds, under Wine) and curl, all fetching the same files
# from the reference download service on loopback in the same run.
#   bench/download.sh [SIZE_MIB...]      (default: 256 1024; KV_BENCH_RUNS=3 runs of each)
# Prints every run, then the medians: the throughputs, the page's ratio to the bare loop (goal
# 0.9 or more) and to curl, the page's working set growth over idle (goal 16 MiB at most) and the
# round-trip of a message sent to the page's window, idle and during the transfer. The page is
# timed as the user sees it, from "Downloading the setup files..." to "Setup files are ready".
# The machine's load is printed with the figures: other work on it skews them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/common.sh"
sizes=("${@:-256 1024}")
read -r -a sizes <<<"${sizes[*]}"
build=$root/build/windows-bench
# The loopback installer finds the service on the ports built into it: KV_LOOPBACK_PORTS, else
# the build's earlier setting, else the default.
ports=${KV_LOOPBACK_PORTS:-$(sed -n 's/^KV_LOOPBACK_PORTS:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)}
read -r primary_port secondary_port <<<"${ports:-47801 47802}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=ON -DKV_BUILD_TESTS=OFF \
  -DKV_LOOPBACK_PORTS="$primary_port $secondary_port" >/dev/null
cmake --build "$build" --target download_bench page_bench winhttp_loop_bench kvpro-installer-loopback kv_download_service >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kv-download-bench.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
kv_on_exit cleanup
mkdir -p "$work/files"
# The page runs only what the maker signed: each file is a small program carrying the random
# bytes, signed with the build's test certificate as the demo setups are.
printf 'int main(void) { return 0; }\n' >"$work/stub.c"
x86_64-w64-mingw32-gcc -s -o "$work/stub.exe" "$work/stub.c"
signer=$build/setup-signers/current
for size in "${sizes[@]}"; do
  { cat "$work/stub.exe"; head -c "$((size * 1048576 - $(stat -c %s "$work/stub.exe")))" /dev/urandom; } >"$work/unsigned.exe"
  osslsigncode sign -certs "$signer.crt" -key "$signer.key" -h sha256 -in "$work/unsigned.exe" \
    -out "$work/files/bench-$size.bin" >/dev/null
  rm -f "$work/unsigned.exe"
done

"$build/download-service/kvpro-download-service" --log "$work/requests.jsonl" --files "$work/files" \
  --primary-port "$primary_port" --secondary-port "$secondary_port" --exit-with-parent 1 >"$work/ports" 2>"$work/service.err" &
pid=$!
for _ in $(seq 100); do grep -q '^secondary=' "$work/ports" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^primary=//p' "$work/ports")
if [ -z "$port" ]; then
  echo "the download service did not start (ports $primary_port/$secondary_port taken by another copy?):" >&2
  cat "$work/service.err" >&2
  exit 1
fi

# The Windows tree's prefix (common.sh), a private display for the installer's window.
[ -n "${DISPLAY:-}" ] || kv_start_xvfb
kv_start_wine
"$root/scripts/wine-run" "$build/bench/download_bench.exe" "http://127.0.0.1:$port/blob/1" >/dev/null 2>&1 || true

runs=${KV_BENCH_RUNS:-3}
# One "name key=value..." line per run on standard output; the medians follow per size.
field() { tr ' ' '\n' <<<"$2" | sed -n "s/^$1=//p"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print 0 }'; }
for size in "${sizes[@]}"; do
  url="http://127.0.0.1:$port/files/bench-$size.bin"
  ln -sf "bench-$size.bin" "$work/files/kvpro-trial-setup.exe"
  : >"$work/runs"
  for run in $(seq "$runs"); do
    curl_out=$(curl -s -o "$work/curl.bin" -w '%{size_download} %{time_total}' "$url")
    rm -f "$work/curl.bin"
    read -r curl_bytes curl_seconds <<<"$curl_out"
    echo "curl mib_per_s=$(awk -v b="$curl_bytes" -v s="$curl_seconds" 'BEGIN { printf "%.1f", b / s / 1048576 }')" >>"$work/runs"
    echo "loop $("$root/scripts/wine-run" "$build/bench/winhttp_loop_bench.exe" "$url" | tr -d '\r')" >>"$work/runs"
    echo "downloader $("$root/scripts/wine-run" "$build/bench/download_bench.exe" "$url" | tr -d '\r')" >>"$work/runs"
    wine "$build/src/app/kvpro-installer-loopback.exe" >/dev/null 2>&1 &
    echo "page $(wine "$build/bench/page_bench.exe" "$((size * 1048576))" | tr -d '\r')" >>"$work/runs"
    wait $! 2>/dev/null || true
  done
  echo "== ${size} MiB, $runs runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  sed 's/^/  /' "$work/runs"
  m() { grep "^$1 " "$work/runs" | while read -r line; do field "$2" "$line"; done | median; }
  curl_m=$(m curl mib_per_s) loop_m=$(m loop mib_per_s) dl_m=$(m downloader mib_per_s) page_m=$(m page mib_per_s)
  ready_m=$(m page ready_mib_per_s)
  growth=$(grep '^page ' "$work/runs" | while read -r line; do
    awk -v i="$(field idle_ws_kib "$line")" -v p="$(field peak_ws_kib "$line")" 'BEGIN { print (p - i) / 1024 }'
  done | median)
  awk -v c="$curl_m" -v l="$loop_m" -v d="$dl_m" -v p="$page_m" -v r="$ready_m" -v g="$growth" 'BEGIN {
    printf "  medians MiB/s: curl %.1f, bare WinHTTP loop %.1f, downloader %.1f, page %.1f\n", c, l, d, p
    printf "  page until ready (transfer and signature check) %.1f MiB/s\n", r
    printf "  page / bare loop %.2f (goal >= 0.90), downloader / bare loop %.2f, page / curl %.2f\n",
      (l ? p / l : 0), (l ? d / l : 0), (c ? p / c : 0)
    printf "  page working set growth over idle %.1f MiB (goal <= 16)\n", g }'
  echo "  page window round-trip ms: idle median $(m page idle_rtt_median_ms), during the transfer median $(m page rtt_median_ms), p99 $(m page rtt_p99_ms), max $(m page rtt_max_ms)"
done
