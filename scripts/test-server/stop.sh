#!/usr/bin/env bash
# Stops the test mail server that start.sh started in DIR: signals only that master, by the pid
# in DIR/run/master.pid, and waits for it to end. Leaves every file in DIR in place.
# Usage: stop.sh DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

[ $# -eq 1 ] || brevio_ts_die "usage: stop.sh DIR"
[ -d "$1" ] || brevio_ts_die "no such folder: $1"
dir=$(cd "$1" && pwd)

pid=$(brevio_ts_master_pid "$dir")
if [ -z "$pid" ]; then
  echo "test-server: no server running in $dir" >&2
  exit 0
fi

kill -TERM "$pid" 2>/dev/null || true
# The master usually needs 2 to 5 s to shut its children down.
for _ in $(seq 1 300); do
  brevio_ts_alive "$pid" || exit 0
  sleep 0.05
done
echo "test-server: master $pid did not stop within 15 s; killing it" >&2
kill -KILL "$pid" 2>/dev/null || true
for _ in $(seq 1 100); do
  brevio_ts_alive "$pid" || exit 0
  sleep 0.05
done
brevio_ts_die "master $pid is still running"
