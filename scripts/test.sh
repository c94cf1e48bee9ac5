#!/usr/bin/env bash
# Installs what is missing, builds in build/, starts the test mail servers and runs every test,
# then runs each fuzz target briefly on its corpus (scripts/fuzz.sh, in build-fuzz/).
# Arguments are passed to ctest. The servers are stopped again however the tests end.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The live tests run a private mail server, which needs root: say so before anything is built.
if [ "$(id -u)" -ne 0 ]; then
  echo "test.sh: run as root: the live tests start a private Dovecot server whose mail processes run as the user 'mail'" >&2
  exit 1
fi

brevio_install_packages "${BREVIO_PACKAGES[@]}" "${BREVIO_SERVER_PACKAGES[@]}" "${BREVIO_TEST_PACKAGES[@]}"
brevio_build ON

server_dir=$(mktemp -d "${TMPDIR:-/tmp}/brevio-mail.XXXXXX")
courier_dir=$(mktemp -d "${TMPDIR:-/tmp}/brevio-courier.XXXXXX")
stop_servers() {
  # Each folder goes only once its server has ended.
  "$BREVIO_ROOT/scripts/test-server/courier-stop.sh" "$courier_dir" && rm -rf "$courier_dir"
  "$BREVIO_ROOT/scripts/test-server/stop.sh" "$server_dir" && rm -rf "$server_dir"
}
trap stop_servers EXIT

# The live tests need the server: not starting it is a failure, never a silent skip.
if ! "$BREVIO_ROOT/scripts/test-server/start.sh" "$server_dir" >/dev/null || [ ! -f "$server_dir/env" ]; then
  echo "test.sh: the test mail server did not start (see the messages above); no tests were run" >&2
  exit 1
fi
set -a
. "$server_dir/env"
set +a

# The second server (Courier, run from its own folder) for the tests against another real
# server. It is downloaded from Debian's archive; when it cannot run here, its tests skip and
# say why.
if "$BREVIO_ROOT/scripts/test-server/courier-start.sh" "$courier_dir" >/dev/null 2>"$courier_dir.log" &&
   [ -f "$courier_dir/env" ]; then
  set -a
  . "$courier_dir/env"
  set +a
else
  cat "$courier_dir.log" >&2
  BREVIO_TEST_COURIER_UNAVAILABLE=$(grep -m1 '^test-server:' "$courier_dir.log" || tail -n 1 "$courier_dir.log")
  export BREVIO_TEST_COURIER_UNAVAILABLE
  echo "test.sh: the second test mail server (Courier) did not start; its live tests will be skipped" >&2
fi
rm -f "$courier_dir.log"

cd "$BREVIO_BUILD"
ctest --output-on-failure "$@"

# About 15 seconds per fuzz target; its kept crash inputs are replayed first.
"$BREVIO_ROOT/scripts/fuzz.sh" 15
