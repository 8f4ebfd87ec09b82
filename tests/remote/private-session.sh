#!/usr/bin/env bash
# Runs a test program on a D-Bus session bus of its own, with its own runtime and home folders, so that
# the GVfs daemons it starts (GIO starts them over the bus) and the mounts they make are its own and end
# with it. No FUSE mounts: nothing is left mounted in the folders removed at the end. An ssh agent of its
# own holds the keys the sftp tests give it (GVfs's sftp back end runs ssh, which asks the agent).
set -u
dir=$(mktemp -d /tmp/kv-remote-XXXXXX) || exit 2
mkdir -m 700 "$dir/run" "$dir/home"
ssh-agent -D -a "$dir/agent" >/dev/null 2>&1 &
agent=$!
# The session's daemons end once its bus has gone, and the metadata daemon writes its files into the
# home folder as it ends: the folders are removed after the last process that runs with them (up to 10 s).
session_alive() {
    grep -qlsF "XDG_RUNTIME_DIR=$dir/run" /proc/[0-9]*/environ
}
cleanup() {
    kill $agent 2>/dev/null
    wait $agent 2>/dev/null
    for _ in $(seq 100); do session_alive || break; sleep 0.1; done
    rm -rf "$dir"
}
trap cleanup EXIT
for _ in $(seq 300); do [ -S "$dir/agent" ] && break; sleep 0.1; done
env SSH_AUTH_SOCK="$dir/agent" XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" \
    XDG_DATA_HOME="$dir/home/.local/share" XDG_CACHE_HOME="$dir/home/.cache" \
    GVFS_DISABLE_FUSE=1 GVFS_REMOTE_VOLUME_MONITOR_IGNORE=1 GIO_USE_VOLUME_MONITOR=unix \
    dbus-run-session -- "$@"
