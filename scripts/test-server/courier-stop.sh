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
# shellcheck disable=SC2086
kill -TERM $pids 2>/dev/null || true
for _ in $(seq 1 100); do
  [ -z "$(brevio_ts_courier_pids "$dir")" ] && exit 0
  sleep 0.05
done
pids=$(brevio_ts_courier_pids "$dir")
echo "test-server: Courier processes $pids did not stop within 5 s; killing them" >&2
# shellcheck disable=SC2086
kill -KILL $pids 2>/dev/null || true
for _ in $(seq 1 100); do
  [ -z "$(brevio_ts_courier_pids "$dir")" ] && exit 0
  sleep 0.05
done
brevio_ts_die "Courier processes are still running: $(brevio_ts_courier_pids "$dir")"
