#!/bin/sh
# with-keyring.sh CMD [ARG...]: runs CMD inside a private D-Bus session with a gnome-keyring
# daemon of its own, its login keyring unlocked with the password "testpass". HOME and the XDG
# folders point into a throwaway folder, so the user's own keyring is never touched; it is
# removed afterwards. CMD sees BREVIO_TEST_KEYRING=1 (and the keyring's password in
# BREVIO_TEST_KEYRING_PASSWORD). Exits 77 with the reason when gnome-keyring or
# dbus-run-session is missing.
set -eu

if [ "${BREVIO_IN_KEYRING_SESSION:-}" != 1 ]; then
  for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "with-keyring: $tool is not installed (apt-get install gnome-keyring dbus); skipped" >&2
      exit 77
    fi
  done
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/brevio-keyring.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/home" "$scratch/data" "$scratch/config" "$scratch/cache" "$scratch/runtime"
  chmod 700 "$scratch/runtime"
  status=0
  HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
    XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime" BREVIO_IN_KEYRING_SESSION=1 \
    dbus-run-session -- "$0" "$@" || status=$?
  exit $status
fi

# Inside the session: the daemon, with its login keyring made (or opened) with the test password.
BREVIO_TEST_KEYRING_PASSWORD=testpass
export BREVIO_TEST_KEYRING_PASSWORD
printf '%s' "$BREVIO_TEST_KEYRING_PASSWORD" |
  gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
daemon=$!
trap 'kill "$daemon" 2>/dev/null || true' EXIT
# Ready once the service answers on the bus.
tries=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetNameOwner \
        string:org.freedesktop.secrets >/dev/null 2>&1; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ]; then
    echo "with-keyring: gnome-keyring-daemon did not start; skipped" >&2
    exit 77
  fi
  sleep 0.1
done
BREVIO_TEST_KEYRING=1
export BREVIO_TEST_KEYRING
status=0
"$@" || status=$?
exit $status
