#!/usr/bin/env bash
# Runs a command on a desktop of its own, as an office machine has one: a private Xvfb display,
# a window manager (openbox) unless --no-wm, and with --a11y a session bus with the accessibility
# bus, so screen readers' view (AT-SPI) can be read. Everything started here ends with the command.
#   desktop-session.sh [--no-wm] [--a11y] -- command [arguments...]
set -euo pipefail

wm=openbox
a11y=false
while [ $# -gt 0 ]; do
  case "$1" in
    --no-wm) wm=""; shift ;;
    --a11y) a11y=true; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "uso: desktop-session.sh [--no-wm] [--a11y] -- comando" >&2; exit 2; }

command -v Xvfb >/dev/null || { echo "desktop-session: Xvfb não instalado" >&2; exit 1; }

scratch="$(mktemp -d "${TMPDIR:-/tmp}/zub-desktop.XXXXXX")"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients.
exec 9<> "$scratch/display"
Xvfb -displayfd 9 -screen 0 1280x900x24 -nolisten tcp -noreset > "$scratch/xvfb.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
  display="$(head -n1 "$scratch/display" 2>/dev/null || true)"
  [ -n "$display" ] && break
  kill -0 "${pids[0]}" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$display" ] || { echo "desktop-session: o Xvfb não abriu a tela" >&2; exit 1; }
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"

if [ -n "$wm" ]; then
  command -v "$wm" >/dev/null || { echo "desktop-session: $wm não instalado" >&2; exit 1; }
  HOME="$scratch" "$wm" > "$scratch/wm.log" 2>&1 &
  pids+=($!)
  # The manager owns the screen once it has set its check window on the root.
  for _ in $(seq 100); do
    # Read whole, then matched: grep -q in a pipe may stop before xprop ends (see the zub script).
    [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *"window id"* ]] && break
    sleep 0.1
  done
  export ZUB_DESKTOP_WM="$wm"
fi

if $a11y; then
  # Qt speaks to screen readers only when the accessibility bus is on.
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
  exec_cmd=(dbus-run-session -- "$@")
else
  exec_cmd=("$@")
fi

status=0
"${exec_cmd[@]}" || status=$?
exit "$status"
