#!/usr/bin/env bash
# The desktop program as a user starts it, on a real window system: a headless Wayland compositor
# (weston), or X11 with a window manager (Xvfb, openbox) and a settings portal on a private
# session bus that says the user prefers dark. It opens a picture named on the command line,
# shows it (dark under X11) and quits cleanly through its own close command.
# Usage: desktop.sh wayland|x11 PENNACROW
set -euo pipefail
platform=$1 program=$2
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT
fail() { echo "smoke.$platform: $*" >&2; exit 1; }
# A picture of one colour, to find on the screenshot.
convert -size 120x80 xc:'#ff00ff' "$scratch/carrier.bmp"
export PENNACROW_SPLASH_MS=0 PENNACROW_SCREENSHOT="$scratch/shot.png" PENNACROW_LANG=zh
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The program under the environment given; it must end by itself, with 0.
run_program() {
  env "$@" timeout 60 "$program" "$scratch/carrier.bmp" >"$scratch/out.log" 2>&1 ||
    { cat "$scratch/out.log" >&2; fail "the program did not quit cleanly"; }
}

case $platform in
  wayland)
    weston --backend=headless-backend.so --use-pixman --width=1280 --height=1024 \
      --socket=smoke --idle-time=0 >"$scratch/weston.log" 2>&1 &
    for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/smoke" ] && break; sleep 0.1; done
    [ -S "$XDG_RUNTIME_DIR/smoke" ] || { cat "$scratch/weston.log" >&2; fail "no compositor"; }
    # No X display to fall back on, which would hide a failure to speak Wayland.
    run_program -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=smoke ;;
  x11)
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
    read -r -t 10 number <&"$fd" || fail "no X server"
    export DISPLAY=:$number
    openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
    run_program QT_QPA_PLATFORM=xcb dbus-run-session -- \
      /usr/bin/python3 "$(dirname "$0")/fake-settings-portal.py" 1 ;;
  *) fail "unknown platform" ;;
esac

[ -s "$scratch/shot.png" ] || fail "the window never showed"
magenta=$(convert "$scratch/shot.png" -fill black +opaque '#ff00ff' -fill white -opaque '#ff00ff' \
  -format '%[fx:round(mean*w*h)]' info:)
[ "$magenta" -ge $((120 * 80)) ] || fail "the picture is not on screen ($magenta pixels)"
# Under X11 the toolbar, right of its buttons, is dark as the portal asked.
toolbar=$(convert "$scratch/shot.png" -format '%[fx:int(255*p{w-4,8}.intensity)]' info:)
[ "$platform" = wayland ] || [ "$toolbar" -lt 80 ] || fail "the window is not dark ($toolbar)"
echo "smoke.$platform: shown, picture on screen, closed cleanly"
