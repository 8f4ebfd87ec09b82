#!/usr/bin/env bash
# Takes the README's screenshots: the program under Xvfb with a demo home folder, each view reached by
# clicking its coloured label with xdotool. Usage: docs/make-screenshots.sh [build-dir]
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1600x900x24" "$0" "$@"; fi
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A home folder with something to show, and a start page that needs no network.
mkdir -p "$work/home"/{Documents,Music,Pictures,Projects/kestrovan,Downloads}
for f in notes.txt report.pdf budget.ods photo.jpg song.ogg archive.tar.gz; do head -c 2048 /dev/urandom >"$work/home/$f"; done
mkdir -p "$work/config/Kestrovan"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kestrovan1.1]\r\n"Startpage"="http://127.0.0.1:8765/start.html"\r\n' \
    >"$work/config/Kestrovan/settings.reg"
mkdir -p "$work/www"
cat >"$work/www/start.html" <<'HTML'
<html><head><title>Start page</title></head>
<body style="font-family:sans-serif;background:#f4f8ff;margin:40px">
<h1>Your start page</h1><p>Any address can be the start page: type it in the box at the top right and
click <b>Change Start Page</b>.</p></body></html>
HTML
(cd "$work/www" && exec python3 -m http.server 8765 --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
# The start page must be there before the program asks for it.
for _ in $(seq 1 100); do (exec 3<>/dev/tcp/127.0.0.1/8765) 2>/dev/null && break; sleep 0.1; done

export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
shot() { sleep "${2:-2}"; import -window root "$here/$1"; echo "wrote docs/$1"; }
click() { xdotool mousemove "$1" "$2" click 1; }

run() {
    "$build/kestrovan" 2>/dev/null &
    local app=$!
    sleep 6
    shot screenshot-main.png 0
    # Twips / 15 = pixels; the main window's client starts below its menu bar.
    local menu=23
    # The four panes first, from a multi-panel window made fresh: a three-panel switch reuses that
    # window, and its later four-pane switch keeps the three panels.
    click 490 $((menu + 8));   shot screenshot-four-pane.png     # "  Kestrovan"
    click 1002 10;             sleep 1                           # close image of the multi-panel window
    click 380 $((menu + 8));   shot screenshot-three-panel.png   # " 3 PanelView"
    click 1002 10;             shot screenshot-main-again.png 1  # close image of the multi-panel window
    click 230 $((menu + 8));   shot screenshot-one-panel.png     # "1PanelView"
    click 260 8;               shot screenshot-two-panel.png     # " 2 Panel View" of the single-panel window
    click 520 8;               sleep 1                           # "Back to Main"
    kill "$app" 2>/dev/null || true
}
run
kill "$server" 2>/dev/null || true
rm -f "$here/screenshot-main-again.png"
