#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Brevio.
#   run.sh [ARGS...]   starts the window program with ARGS (one argument: only the tray icon)
#   run.sh --demo      starts the project's test mail server and opens Brevio on a settings
#                      file of its own in the server's folder, with mailboxes pointing at it;
#                      the server stops when Brevio exits. The user's settings are never used.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if [ "${1:-}" != "--demo" ]; then
  brevio_install_packages "${BREVIO_PACKAGES[@]}"
  brevio_build OFF
  exec "$BREVIO_BUILD/brevio" "$@"
fi
shift

brevio_install_packages "${BREVIO_PACKAGES[@]}" "${BREVIO_SERVER_PACKAGES[@]}"
brevio_build OFF

server="$BREVIO_ROOT/scripts/test-server"
dir=$("$server/start.sh" | tail -1)
trap '"$server/stop.sh" "$dir" >/dev/null 2>&1 && rm -rf "$dir"' EXIT
# shellcheck disable=SC1091
. "$dir/env"

settings="$dir/brevio-demo.ini"
fingerprint=$(openssl x509 -in "$BREVIO_TEST_CA_FILE" -noout -fingerprint -sha256 | cut -d= -f2 | tr -d :)

# One mailbox's keys: index, name, port, user, password, POP3 (1) or IMAP4 (0), security,
# left out of "check all" (1) or not (0).
mailbox() {
  printf 'Name%s=%s\nHost%s=%s\nPort%s=%s\nUserName%s=%s\nPassword%s=%s\n' \
    "$1" "$2" "$1" "$BREVIO_TEST_HOST" "$1" "$3" "$1" "$4" "$1" "$5"
  printf 'POPorIMAP%s=%s\nSecurity%s=%s\nCertFingerprint%s=%s\nIgnoreCheckAllCommand%s=%s\nIgnoreCheckOnSchedule%s=0\n' \
    "$1" "$6" "$1" "$7" "$1" "$fingerprint" "$1" "$8" "$1"
}

{
  printf '[Main]\nFAutomaticCheckMail=0\nNumMailbox=3\n'
  mailbox 0 "alice (POP3, STARTTLS)" "$BREVIO_TEST_POP3_PORT" "$BREVIO_TEST_ALICE_USER" "$BREVIO_TEST_ALICE_PASSWORD" 1 2 0
  mailbox 1 "alice (IMAP4, TLS)" "$BREVIO_TEST_IMAPS_PORT" "$BREVIO_TEST_ALICE_USER" "$BREVIO_TEST_ALICE_PASSWORD" 0 1 0
  # Left out of "Check New Mail": choose it from the mailbox menu to see the login prompt.
  mailbox 2 "bob (wrong password: asks for a login)" "$BREVIO_TEST_POP3_PORT" "$BREVIO_TEST_BOB_USER" "not-the-password" 1 0 1
} > "$settings"
echo "Demo settings: $settings"
"$BREVIO_BUILD/brevio" --settings "$settings" "$@"
