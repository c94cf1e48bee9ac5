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

# The pid while that master is still running.
master_alive() { if brevio_ts_alive "$pid"; then echo "$pid"; fi; }
# The master usually needs 2 to 5 s to shut its children down.
brevio_ts_stop_listed 15 "master" master_alive
