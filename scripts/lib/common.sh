# Shared by the project's scripts: paths, a private Xvfb display and the Wine server.
# shellcheck shell=bash

KV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$KV_ROOT/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

KV_XVFB_PID=
KV_CLEANUPS=()

kv_on_exit() { KV_CLEANUPS+=("$1"); }

kv_cleanup() {
  local i
  for ((i = ${#KV_CLEANUPS[@]} - 1; i >= 0; i--)); do eval "${KV_CLEANUPS[$i]}" || true; done
}
trap kv_cleanup EXIT

# Starts Xvfb on a free display and exports DISPLAY; stopped again when the script ends.
kv_start_xvfb() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  KV_XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
  kv_on_exit "kill $KV_XVFB_PID 2>/dev/null; wait $KV_XVFB_PID 2>/dev/null"
}

# Creates the private Wine prefix if needed and keeps one Wine server running for this script,
# so that every program started under Wine skips the server's start-up.
kv_start_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
  fi
  wineserver -p 2>/dev/null || true  # may already be running
  # Start Wine's own background processes now, detached from our output: a program that
  # started them would hand them its output pipe and CTest would wait for them to close it.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  kv_on_exit "wineserver -k 2>/dev/null; wineserver -w 2>/dev/null"
}

kv_log() { printf '== %s\n' "$*"; }
