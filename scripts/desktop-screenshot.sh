#!/usr/bin/env bash
# Starts build/vantrel under Xvfb in a folder and takes screenshots of the screen, to look at the real program on
# an X display. Installs what it needs when missing. Steps run in order:
#   sleep:SECONDS   wait
#   key:KEYS        focus the program's window and press the keys (xdotool names, e.g. F5)
#   shot:NAME       save the screen as OUT/NAME.png
# Usage: desktop-screenshot.sh FOLDER OUT step...
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 folder out step..." >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
missing=()
for p in xvfb xdotool x11-apps netpbm; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

folder=$(realpath "$1")
out=$(realpath -m "$2")
shift 2
mkdir -p "$out"
export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
trap '[ -n "$app" ] && kill "$app" 2>/dev/null; kill "$xvfb" 2>/dev/null' EXIT
sleep 1
(cd "$folder" && QT_QPA_PLATFORM=xcb exec "$root/build/vantrel") &
app=$!
for step in "$@"; do
    case $step in
    sleep:*) sleep "${step#sleep:}" ;;
    key:*)
        window=$(xdotool search --sync --onlyvisible --name '^Vantrel$' | head -n 1)
        xdotool windowfocus --sync "$window" key "${step#key:}"
        ;;
    shot:*) xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/${step#shot:}.png" ;;
    *) echo "unknown step $step" >&2; exit 2 ;;
    esac
done
