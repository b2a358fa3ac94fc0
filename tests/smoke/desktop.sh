#!/usr/bin/env bash
# The desktop program as a user starts it, on a real window system: under a headless Wayland
# compositor (weston) or under X11 with a window manager (Xvfb and openbox). It opens a picture
# named on the command line, shows it, and quits cleanly through its own close command.
# Under X11 a settings portal on a private session bus says the user prefers dark, and the
# window must follow it.
# Usage: desktop.sh wayland|x11 PENNACROW
set -euo pipefail
platform=$1 program=$2
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "smoke.$platform: $*" >&2; exit 1; }
# Waits up to 10 s for a condition.
await() {
  for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done
  return 1
}

# A picture of one colour, so the screenshot shows whether it was loaded.
convert -size 120x80 xc:'#ff00ff' "$scratch/carrier.bmp"
export PENNACROW_SPLASH_MS=0 PENNACROW_SCREENSHOT="$scratch/shot.png" PENNACROW_LANG=zh
export XDG_RUNTIME_DIR="$scratch/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Runs the program with the environment given as arguments; it must end by itself, with 0.
run_program() {
  if ! env "$@" timeout 60 "$program" "$scratch/carrier.bmp" >"$scratch/out.log" 2>&1; then
    cat "$scratch/out.log" >&2
    fail "the program did not quit cleanly"
  fi
}

case $platform in
  wayland)
    socket=pennacrow-smoke
    weston --backend=headless-backend.so --use-pixman --width=1280 --height=1024 \
      --socket=$socket --idle-time=0 >"$scratch/weston.log" 2>&1 &
    pids+=($!)
    await "[ -S '$XDG_RUNTIME_DIR/$socket' ]" || { cat "$scratch/weston.log" >&2; fail "no compositor"; }
    # Nothing to fall back on: an X display would hide a failure to speak Wayland.
    run_program -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=$socket
    ;;
  x11)
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
    pids+=($!)
    read -r -t 10 number <&"$fd" || fail "no X server"
    export DISPLAY=:$number
    openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
    pids+=($!)
    run_program QT_QPA_PLATFORM=xcb dbus-run-session -- \
      /usr/bin/python3 "$(dirname "$0")/fake-settings-portal.py" 1
    ;;
  *) fail "unknown platform" ;;
esac

[ -s "$scratch/shot.png" ] || fail "the window never showed"
magenta=$(convert "$scratch/shot.png" -fill black +opaque '#ff00ff' -fill white -opaque '#ff00ff' \
  -format '%[fx:round(mean*w*h)]' info:)
[ "$magenta" -ge $((120 * 80)) ] || fail "the picture is not on screen ($magenta pixels)"
if [ "$platform" = x11 ]; then
  # The toolbar's background right of its buttons: dark, as the portal asked.
  toolbar=$(convert "$scratch/shot.png" -format '%[fx:int(255*p{w-4,8}.intensity)]' info:)
  [ "$toolbar" -lt 80 ] || fail "the window did not follow the dark colour scheme ($toolbar)"
fi
echo "smoke.$platform: shown, picture on screen, closed cleanly"
