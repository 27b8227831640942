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
  Xvfb -displayfd 3 -screen 0 "${KV_XVFB_SCREEN:-1280x800x24}" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  KV_XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
  kv_on_exit "kill $KV_XVFB_PID 2>/dev/null; wait $KV_XVFB_PID 2>/dev/null"
}

# Creates the private Wine prefix once. A new prefix's Internet settings say "detect a proxy
# automatically", which would send WPAD lookups off the machine from every test that makes an
# HTTP request: the prefix starts with a direct connection instead (tests that need a proxy
# write their own settings and put these back).
kv_prepare_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  local direct=460000000100000001000000000000000000000000000000
  direct+=$(printf '0%.0s' $(seq 64))
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
    /v DefaultConnectionSettings /t REG_BINARY /d "$direct" /f >/dev/null 2>&1 || true
  wineserver -w || true
}

# Keeps one Wine server running for this script, so that every program started under Wine skips
# the server's start-up.
kv_start_wine() {
  (flock 9 && kv_prepare_prefix) 9>"$WINEPREFIX.lock"
  wineserver -p >/dev/null 2>&1 || true  # may already be running
  # Start Wine's own background processes now, detached from our output: a program that
  # started them would hand them its output pipe and CTest would wait for them to close it.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  kv_hold_desktop
  kv_on_exit "wineserver -k 2>/dev/null; wineserver -w 2>/dev/null"
}

# Starts the desktop process now, detached from our output, and keeps it up until the Wine server
# ends: it lives only while a program uses the desktop, and one started by a test would hold that
# test's output open (and CTest waiting) until every later test's windows had closed.
kv_hold_desktop() {
  local holder=$KV_ROOT/build/windows/tools/desktop-holder/kv-desktop-holder.exe
  [ -f "$holder" ] || return 0
  wine "$holder" </dev/null >/dev/null 2>&1 &
  disown
}

kv_log() { printf '== %s\n' "$*"; }
