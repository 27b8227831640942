#!/usr/bin/env bash
# Start-up benchmark: the loopback installer against a program that only opens a window, both
# started by bench/startup_bench.cpp under the same running Wine server, in turns.
#   bench/startup.sh [RUNS]      (default 10)
# Prints every run, the medians from process creation to the visible window and to its first
# complete paint, and the installer's difference to the yardstick (goal 100 ms or less).
# The machine's load is printed with the figures: other work on it skews them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/common.sh"
runs=${1:-10}
build=$root/build/windows

[ -f "$build/CMakeCache.txt" ] || cmake --preset windows -S "$root" >/dev/null
cmake --build "$build" --target startup_bench minimal_window kvpro-installer-loopback >/dev/null

[ -n "${DISPLAY:-}" ] || kv_start_xvfb
kv_start_wine
echo "== start-up, $runs runs each, load average $(cut -d' ' -f1-3 /proc/loadavg)"
wine "$build/bench/startup_bench.exe" "$runs" "$build/src/app/kvpro-installer-loopback.exe" \
  "$build/bench/minimal_window.exe" | tr -d '\r'
