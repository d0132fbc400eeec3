#!/usr/bin/env bash
# Renders an HTML file (an exported list or the list report) in headless Chromium and saves a PNG, to look at
# what a browser makes of it. Installs Chromium when it is missing. Usage: page-screenshot.sh page.html out.png
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 page.html out.png" >&2; exit 2; }
if ! dpkg-query -W -f='${Status}' chromium 2>/dev/null | grep -q "install ok installed"; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends chromium fonts-noto-cjk
fi
page=$(realpath "$1")
out=$(realpath -m "$2")
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,700 \
    --screenshot="$out" "file://$page" >/dev/null 2>&1
echo "$out"
