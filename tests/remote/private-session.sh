#!/usr/bin/env bash
# Runs a test program on a D-Bus session bus of its own, with its own runtime and home folders, so that
# the GVfs daemons it starts (GIO starts them over the bus) and the mounts they make are its own and end
# with it. No FUSE mounts: nothing is left mounted in the folders removed at the end.
set -u
dir=$(mktemp -d /tmp/kv-remote-XXXXXX) || exit 2
trap 'rm -rf "$dir"' EXIT
mkdir -m 700 "$dir/run" "$dir/home"
env XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" \
    XDG_DATA_HOME="$dir/home/.local/share" XDG_CACHE_HOME="$dir/home/.cache" \
    GVFS_DISABLE_FUSE=1 GVFS_REMOTE_VOLUME_MONITOR_IGNORE=1 GIO_USE_VOLUME_MONITOR=unix \
    dbus-run-session -- "$@"
