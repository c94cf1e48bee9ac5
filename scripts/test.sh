#!/usr/bin/env bash
# Installs what is missing, builds in build/, starts the test mail server and runs every test,
# then runs each fuzz target briefly on its corpus (scripts/fuzz.sh, in build-fuzz/).
# Arguments are passed to ctest. The server is stopped again however the tests end.
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
stop_server() {
  # The folder goes only once its server has ended.
  "$BREVIO_ROOT/scripts/test-server/stop.sh" "$server_dir" && rm -rf "$server_dir"
}
trap stop_server EXIT

# The live tests need the server: not starting it is a failure, never a silent skip.
if ! "$BREVIO_ROOT/scripts/test-server/start.sh" "$server_dir" >/dev/null || [ ! -f "$server_dir/env" ]; then
  echo "test.sh: the test mail server did not start (see the messages above); no tests were run" >&2
  exit 1
fi
set -a
. "$server_dir/env"
set +a

cd "$BREVIO_BUILD"
ctest --output-on-failure "$@"

# About 15 seconds per fuzz target; its kept crash inputs are replayed first.
"$BREVIO_ROOT/scripts/fuzz.sh" 15
