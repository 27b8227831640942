#!/usr/bin/env bash
# page_dpi_test.sh TEST.exe: runs the test program at 96, 144 and 192 DPI. Wine takes the DPI from
# the prefix's LogPixels when its server starts, so the runs use a prefix of their own (the other
# tests' prefix stays at 96) and restart its server once per DPI.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
export WINEPREFIX=$KV_ROOT/build/windows/wineprefix-dpi-test
test_program=$1

stop_server() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
kv_on_exit stop_server

status=0
for dpi in 96 144 192; do
  (flock 9 && kv_prepare_prefix) 9>"$WINEPREFIX.lock"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  stop_server
  echo "== at $dpi DPI"
  KV_EXPECTED_DPI=$dpi "$KV_ROOT/scripts/wine-run" "$test_program" --gtest_brief=1 || status=1
done
exit $status
