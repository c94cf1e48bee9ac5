#!/usr/bin/env bash
# Benchmark of watching inboxes: starts a private test mail server, then runs bench/idle_bench
# for the latency of 50 deliveries and for the cost of 100 watchers. Needs root (the server).
#
#   bench/idle.sh [BUILD_DIR]     (default build-bench/ of this tree)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
[ "$(id -u)" -eq 0 ] || { echo "bench: must run as root (the test mail server)" >&2; exit 1; }
if ! grep -qx "BREVIO_BENCH:BOOL=ON" "$build/CMakeCache.txt" 2>/dev/null; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIO_BENCH=ON "${launcher[@]}" >/dev/null
fi
nice cmake --build "$build" --target idle_bench >/dev/null
server=$("$root/scripts/test-server/start.sh" | tail -1)
trap '"$root/scripts/test-server/stop.sh" "$server" >/dev/null 2>&1 || true' EXIT
set -a; . "$server/env"; set +a
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# Qt's notes about the offscreen platform go to idle_bench.log beside the build.
"$build/bench/idle_bench" latency "${BENCH_DELIVERIES:-50}" 2>>"$build/idle_bench.log"
"$build/bench/idle_bench" scale "${BENCH_WATCHERS:-100}" 2>>"$build/idle_bench.log"
