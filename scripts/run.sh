#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Brevio.
#   run.sh [ARGS...]   starts the window program with ARGS (one argument: only the tray icon)
#   run.sh --demo      starts the project's test mail server and opens Brevio on a settings
#                      file of its own in the server's folder, with mailboxes pointing at it;
#                      the server stops when Brevio exits. The user's settings are never used.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

brevio_install_packages "${BREVIO_PACKAGES[@]}"
brevio_build

if [ "${1:-}" != "--demo" ]; then
  exec "$BREVIO_BUILD/brevio" "$@"
fi
shift

server="$BREVIO_ROOT/scripts/test-server"
dir=$("$server/start.sh" | tail -1)
trap '"$server/stop.sh" "$dir" >/dev/null 2>&1 || true' EXIT
# shellcheck disable=SC1091
. "$dir/env"

settings="$dir/brevio-demo.ini"
cat > "$settings" <<INI
[Main]
FAutomaticCheckMail=0
NumMailbox=3
Name0=alice (POP3)
Host0=$BREVIO_TEST_HOST
Port0=$BREVIO_TEST_POP3_PORT
UserName0=$BREVIO_TEST_ALICE_USER
Password0=$BREVIO_TEST_ALICE_PASSWORD
IgnoreCheckAllCommand0=0
IgnoreCheckOnSchedule0=0
POPorIMAP0=1
Name1=alice (IMAP4)
Host1=$BREVIO_TEST_HOST
Port1=$BREVIO_TEST_IMAP_PORT
UserName1=$BREVIO_TEST_ALICE_USER
Password1=$BREVIO_TEST_ALICE_PASSWORD
IgnoreCheckAllCommand1=0
IgnoreCheckOnSchedule1=0
POPorIMAP1=0
Name2=bob (wrong password: asks for a login)
Host2=$BREVIO_TEST_HOST
Port2=$BREVIO_TEST_POP3_PORT
UserName2=$BREVIO_TEST_BOB_USER
Password2=not-the-password
IgnoreCheckAllCommand2=1
IgnoreCheckOnSchedule2=0
POPorIMAP2=1
INI
echo "Demo settings: $settings"
"$BREVIO_BUILD/brevio" --settings "$settings" "$@"
