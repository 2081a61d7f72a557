#!/bin/bash
# Runs inside `unshare --mount` (auto_snapshot_test.cpp): a tmpfs on
# /run/systemd holding system/, so that systemctl and `systemd --user`
# believe systemd runs, then a user manager of its own with its own
# XDG_RUNTIME_DIR, under the HOME, XDG_* and WINEPREFIX given.
#   user_manager.sh PROGRAM LIVE CHANGED
# Turns versions on, writes CHANGED over LIVE as a writer does (opened,
# written, closed), waits for the version, asks for the status, turns them
# off. Exit 77 (with the reason) where no user manager can run.
set -u
program=$1 live=$2 changed=$3
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

manager=/usr/lib/systemd/systemd
[ -x "$manager" ] || manager=/lib/systemd/systemd
[ -x "$manager" ] || skip "no systemd installed (Debian package systemd)"
mount -t tmpfs tmpfs /run/systemd 2>/dev/null || skip "cannot mount a tmpfs on /run/systemd"
mkdir -p /run/systemd/system
XDG_RUNTIME_DIR=$(mktemp -d) || fail "mktemp"
export XDG_RUNTIME_DIR
"$manager" --user >"$XDG_RUNTIME_DIR/manager.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
# Waiting for a process of its own to answer: its private socket.
for _ in $(seq 200); do
  systemctl --user show-environment >/dev/null 2>&1 && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.05
done
systemctl --user show-environment >/dev/null 2>&1 ||
  skip "systemd --user did not start: $(tail -n 2 "$XDG_RUNTIME_DIR/manager.log" | tr '\n' ' ')"
# The manager runs the service in its own environment: the test's home.
systemctl --user set-environment HOME="$HOME" XDG_DATA_HOME="$XDG_DATA_HOME" XDG_STATE_HOME="$XDG_STATE_HOME"

"$program" --auto-snapshot on || fail "on failed"
cat "$changed" > "$live"
versions=0
for _ in $(seq 300); do
  versions=$("$program" --history --json 2>/dev/null | grep -c '"versions": 1')
  [ "$versions" -ge 1 ] && break
  sleep 0.1
done
[ "$versions" -ge 1 ] || fail "no version 30 s after the change; $(journalctl --user -n 5 2>&1 | tail -n 5)"
echo "VERSION TAKEN"
"$program" --auto-snapshot status
"$program" --auto-snapshot off || fail "off failed"
left=$(ls "$XDG_CONFIG_HOME/systemd/user" 2>/dev/null; systemctl --user list-unit-files 'restore-rolvane-data*' --no-legend 2>&1)
[ -z "$left" ] || fail "left behind: $left"
echo "NOTHING LEFT"
