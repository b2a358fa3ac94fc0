#!/bin/bash
# Takes screenshots of the desktop program on real window systems: X11 with a window manager
# (the text read back into the memo by its key, Ctrl+R) and Wayland (weston, headless), each
# light or dark (a settings portal of our own says which the user prefers) and at a scale
# factor. The carrier is a fractal of our own holding a short text.
# Usage: tools/screenshots.sh BUILD_DIR OUT_DIR [x11|wayland zh|en light|dark 1|2 [window]]
#   with no choices: every combination in Chinese, of the whole screen; each file is named after
#   its choices. "window" takes only the window with its frame (X11).
# The AppStream screenshots in data/screenshots are "x11 zh light 1 window" and
# "x11 en dark 1 window".
set -euo pipefail
build=$(cd "${1:?usage: screenshots.sh BUILD_DIR OUT_DIR ...}" && pwd)
out=$(mkdir -p "${2:?usage}" && cd "$2" && pwd)
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
portal=$root/tests/smoke/fake-settings-portal.py
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT
export XDG_RUNTIME_DIR=$scratch/run PENNACROW_SPLASH_MS=0
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$build/pennacrow-cli" fractal mandelbrot -o "$scratch/fractal.png" --size 600x330 >/dev/null
"$build/pennacrow-cli" hide "$scratch/fractal.png" -o "$scratch/carrier.png" \
  --text "Pennacrow: a text hidden in the low bits of a picture. 藏在图片最低位里的文字。" >/dev/null

# shot SYSTEM LANGUAGE SCHEME SCALE
shot() {
  local system=$1 language=$2 scheme=$3 scale=$4 part=${5:-screen} code=2
  [ "$scheme" = dark ] && code=1
  local name=$out/$system-$language-$scheme-${scale}x.png
  local run=(env PENNACROW_LANG="$language" QT_SCALE_FACTOR="$scale" dbus-run-session --
    /usr/bin/python3 "$portal" $code "$build/pennacrow" "$scratch/carrier.png")
  if [ "$system" = x11 ]; then
    Xvfb :87 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    local server=$!
    sleep 1
    DISPLAY=:87 openbox --sm-disable >/dev/null 2>&1 &
    sleep 1
    DISPLAY=:87 QT_QPA_PLATFORM=xcb "${run[@]}" >/dev/null 2>&1 &
    sleep 4
    DISPLAY=:87 xdotool key ctrl+r
    sleep 2
    if [ "$part" = window ]; then
      DISPLAY=:87 import -frame -window "$(DISPLAY=:87 xdotool getactivewindow)" "$name"
    else
      DISPLAY=:87 import -window root "$name"
    fi
    DISPLAY=:87 xdotool key ctrl+q
  else
    weston --backend=headless-backend.so --use-pixman --width=1280 --height=1024 \
      --socket=shots --idle-time=0 --debug >/dev/null 2>&1 &
    local server=$!
    sleep 2
    env -u DISPLAY WAYLAND_DISPLAY=shots QT_QPA_PLATFORM=wayland "${run[@]}" >/dev/null 2>&1 &
    sleep 5
    (cd "$scratch" && rm -f wayland-screenshot-*.png &&
      WAYLAND_DISPLAY=shots weston-screenshooter >/dev/null && mv wayland-screenshot-*.png "$name")
  fi
  # Without its display the program ends too, on either system.
  kill $(jobs -p) 2>/dev/null || true
  wait 2>/dev/null || true
  echo "$name"
}

if [ $# -gt 0 ]; then
  shot "$@"
else
  for system in x11 wayland; do
    for scheme in light dark; do
      for scale in 1 2; do shot $system zh $scheme $scale; done
    done
  done
fi
