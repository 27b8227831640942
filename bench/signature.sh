#!/usr/bin/env bash
# Signature check benchmark, under Wine: the check after the last byte with the digest computed
# while the file was written, against the check that reads and hashes the whole file again.
#   bench/signature.sh [SIZE_MIB...]      (default: 256; KV_BENCH_RUNS=3 runs of each)
# Each file is a small program carrying random bytes, signed with the build's test certificate.
# Prints one line per run (signature_bench.cpp says what each figure means).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/lib/common.sh"
sizes=("${@:-256}")
read -r -a sizes <<<"${sizes[*]}"
build=$root/build/windows-bench

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKV_BENCH=ON -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target signature_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kv-signature-bench.XXXXXX")
kv_on_exit "rm -rf '$work'"
printf 'int main(void) { return 0; }\n' >"$work/stub.c"
x86_64-w64-mingw32-gcc -s -o "$work/stub.exe" "$work/stub.c"
signer=$build/setup-signers/current

[ -n "${DISPLAY:-}" ] || kv_start_xvfb
kv_start_wine
for size in "${sizes[@]}"; do
  { cat "$work/stub.exe"; head -c "$((size * 1048576 - $(stat -c %s "$work/stub.exe")))" /dev/urandom; } >"$work/unsigned.exe"
  osslsigncode sign -certs "$signer.crt" -key "$signer.key" -h sha256 -in "$work/unsigned.exe" \
    -out "$work/signed.exe" >/dev/null
  rm -f "$work/unsigned.exe"
  echo "== ${size} MiB, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  for _ in $(seq "${KV_BENCH_RUNS:-3}"); do
    echo "  $("$root/scripts/wine-run" "$build/bench/signature_bench.exe" "$(winepath -w "$work/signed.exe")" | tr -d '\r')"
  done
  rm -f "$work/signed.exe"
done
