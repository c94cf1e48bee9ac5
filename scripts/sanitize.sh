#!/usr/bin/env bash
# The tests again under sanitizers, each build in its own folder (clang):
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer: the unit, wire and live tests
#   build-tsan/  ThreadSanitizer: the window's run tests and the abort tests, where threads meet
# Qt and the system libraries are not instrumented; tests/sanitizers/tsan.supp holds the
# suppressions for what their internals make ThreadSanitizer report (the ASan and UBSan runs need
# none). Prints how long each step took.
# Needs root for the private mail server of the live tests, like test.sh.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "sanitize.sh: run as root: the live tests start a private Dovecot server" >&2
  exit 1
fi
brevio_install_packages "${BREVIO_PACKAGES[@]}" "${BREVIO_SERVER_PACKAGES[@]}" "${BREVIO_TEST_PACKAGES[@]}" \
  "${BREVIO_CHECK_PACKAGES[@]}"

timings=()
step() {
  local name=$1
  shift
  local begin=$SECONDS
  "$@"
  timings+=("$(printf '%-34s %5d s' "$name" $((SECONDS - begin)))")
}
report() { printf '%s\n' "${timings[@]}"; }

suppressions="$BREVIO_ROOT/tests/sanitizers"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$suppressions/tsan.supp:halt_on_error=0:second_deadlock_stack=1:report_signal_unsafe=0:exitcode=66"

asan="$BREVIO_ROOT/build-asan"
tsan="$BREVIO_ROOT/build-tsan"
step "build ASan+UBSan" brevio_build_variant "$asan" -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_TESTING=ON \
  -DBREVIO_SANITIZE=address,undefined -- unit_tests wire_tests live_tests brevio-check settings_writer
step "build TSan" brevio_build_variant "$tsan" -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_TESTING=ON \
  -DBREVIO_SANITIZE=thread -- unit_tests wire_tests live_tests gui_tests brevio-check

server_dir=$(mktemp -d "${TMPDIR:-/tmp}/brevio-mail.XXXXXX")
stop_server() {
  "$BREVIO_ROOT/scripts/test-server/stop.sh" "$server_dir" && rm -rf "$server_dir"
  report
}
trap stop_server EXIT
if ! "$BREVIO_ROOT/scripts/test-server/start.sh" "$server_dir" >/dev/null || [ ! -f "$server_dir/env" ]; then
  echo "sanitize.sh: the test mail server did not start; no tests were run" >&2
  exit 1
fi
set -a
. "$server_dir/env"
set +a

# Each suite runs as one process; `timeout` keeps a hang from eating the CI run.
run() { timeout --kill-after=30 "$1" "${@:2}"; }
cd "$asan"
step "ASan+UBSan unit tests" run 15m tests/unit_tests
step "ASan+UBSan wire tests" run 15m tests/wire_tests
step "ASan+UBSan live tests" run 20m tests/live_tests
cd "$tsan"
step "TSan window run tests" run 15m tests/gui_tests --gtest_filter='MainWindowRuns*'
step "TSan abort tests" run 15m tests/unit_tests --gtest_filter='*Abort*'
step "TSan engine abort tests (wire)" run 10m tests/wire_tests --gtest_filter='*Abort*'
step "TSan engine abort tests (live)" run 10m tests/live_tests --gtest_filter='*Abort*'
