#!/usr/bin/env bash
# Stops the Courier server that courier-start.sh started in DIR: signals only the processes that
# run in DIR/root, and waits for them to end. Leaves every file in DIR in place.
# Usage: courier-stop.sh DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

[ $# -eq 1 ] || brevio_ts_die "usage: courier-stop.sh DIR"
[ -d "$1" ] || brevio_ts_die "no such folder: $1"
dir=$(cd "$1" && pwd)

pids=$(brevio_ts_courier_pids "$dir")
if [ -z "$pids" ]; then
  echo "test-server: no Courier server running in $dir" >&2
  exit 0
fi
brevio_ts_stop_listed 5 "Courier processes" brevio_ts_courier_pids "$dir"
