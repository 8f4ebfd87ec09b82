#!/usr/bin/env bash
# Installs a configured and built tree into a temporary DESTDIR and checks what a desktop relies on: every
# file in its place with sane permissions, the desktop entry and the AppStream data valid, the icons of the
# sizes their folders claim, the manual page readable.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: check-install.sh BUILD_DIR}
prefix=/usr
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for tool in cmake desktop-file-validate appstreamcli gzip od; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# Directories are created under the caller's umask; a package is built under 022, so check under it.
umask 022
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null
dest=$root$prefix
share=$dest/share
appid=io.kestrovan.Kestrovan

# Nothing may land outside the prefix: a rule with an absolute destination would ignore it.
stray=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name "${prefix#/}")
[ -z "$stray" ] || fail "installed outside $prefix: $stray"

# Each expected file with its mode.
expect() {
    local mode=$1 path=$2
    if [ ! -f "$dest/$path" ]; then
        fail "missing $prefix/$path"
    elif [ "$(stat -c %a "$dest/$path")" != "$mode" ]; then
        fail "$prefix/$path has mode $(stat -c %a "$dest/$path"), expected $mode"
    fi
}
expect 755 bin/kestrovan
expect 644 share/applications/kestrovan.desktop
expect 644 share/metainfo/$appid.metainfo.xml
expect 644 share/icons/hicolor/scalable/apps/kestrovan.svg
expect 644 share/man/man1/kestrovan.1.gz
expect 644 share/doc/kestrovan/copyright
expect 644 share/doc/kestrovan/changelog.gz
sizes="16 22 24 32 48 64 128 256"
for size in $sizes; do
    expect 644 "share/icons/hicolor/${size}x${size}/apps/kestrovan.png"
done

# Nothing writable by group or others, and every folder open to all.
writable=$(find "$root" -mindepth 1 -perm /022)
[ -z "$writable" ] || fail "writable by group or others: $writable"
closed=$(find "$root" -mindepth 1 -type d ! -perm 755)
[ -z "$closed" ] || fail "folders without mode 755: $closed"
magic=$(od -An -c -N4 "$dest/bin/kestrovan" 2>/dev/null | tr -d ' ') || true
[ "$magic" = '177ELF' ] || fail "$prefix/bin/kestrovan is not an ELF executable"

# The desktop entry: valid, starting the installed program by name, with the installed icon and no field
# code, since the program takes no arguments.
desktop=$share/applications/kestrovan.desktop
if [ -f "$desktop" ]; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects kestrovan.desktop: $out"
    grep -qx 'Exec=kestrovan' "$desktop" || fail "desktop entry does not run plain 'kestrovan'"
    grep -qx 'Icon=kestrovan' "$desktop" || fail "desktop entry does not name the icon 'kestrovan'"
    ! grep -q '^Exec=.*%' "$desktop" || fail "desktop entry passes arguments to a program that takes none"
    grep -q '^Categories=.*FileManager;' "$desktop" || fail "desktop entry is not in FileManager"
    grep -q '^Categories=.*WebBrowser;' "$desktop" || fail "desktop entry is not in WebBrowser"
fi

# The AppStream data: valid offline, launching the desktop entry installed next to it, with this version.
metainfo=$share/metainfo/$appid.metainfo.xml
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" >/dev/null ||
        fail "appstreamcli rejects $appid.metainfo.xml: $(appstreamcli validate --no-net "$metainfo" 2>&1)"
    grep -q '<launchable type="desktop-id">kestrovan.desktop</launchable>' "$metainfo" ||
        fail "AppStream data does not launch kestrovan.desktop"
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    grep -q "<release version=\"$version\"" "$metainfo" || fail "AppStream data has no release $version"
    ! grep -q '@[A-Z_]*@' "$metainfo" || fail "AppStream data holds an unreplaced @VARIABLE@"
fi

# Icons: a PNG of the size its folder names (width and height from the IHDR chunk), and an SVG.
for size in $sizes; do
    png=$share/icons/hicolor/${size}x${size}/apps/kestrovan.png
    [ -f "$png" ] || continue
    read -r w3 w2 w1 w0 h3 h2 h1 h0 < <(od -An -tu1 -j16 -N8 "$png")
    w=$(((w3 << 24) | (w2 << 16) | (w1 << 8) | w0))
    h=$(((h3 << 24) | (h2 << 16) | (h1 << 8) | h0))
    [ "$(od -An -c -j1 -N3 "$png" | tr -d ' ')" = PNG ] || fail "${size}x${size} icon is not a PNG"
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "${size}x${size} icon is ${w}x${h}"
done
svg=$share/icons/hicolor/scalable/apps/kestrovan.svg
[ ! -f "$svg" ] || grep -q '<svg ' "$svg" || fail "scalable icon is not an SVG"

# The manual page: an intact gzip stream holding section 1 of kestrovan.
man=$share/man/man1/kestrovan.1.gz
if [ -f "$man" ]; then
    gzip -t "$man" || fail "manual page is not a valid gzip file"
    gzip -dc "$man" | grep -q '^\.TH KESTROVAN 1 ' || fail "manual page has no .TH KESTROVAN 1 heading"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install tree OK"
