#!/usr/bin/env bash
# Starts a private Dovecot instance on loopback for Brevio's live tests and demos.
#   start.sh [DIR]
# DIR (default: a new temporary folder) receives the configuration, a throw-away certificate,
# the users, the seeded Maildirs, the log and DIR/env with everything a test needs to connect.
# The last line on stdout is DIR, so callers can write: dir=$(start.sh | tail -1)
set -euo pipefail
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

command -v dovecot >/dev/null || brevio_ts_die "dovecot is not installed (packages dovecot-core dovecot-imapd dovecot-pop3d)"
command -v openssl >/dev/null || brevio_ts_die "openssl is not installed"
[ "$(id -u)" -eq 0 ] || brevio_ts_die "must run as root: the mail processes run as the system user 'mail'"

if [ $# -ge 1 ]; then
  mkdir -p "$1"
  dir=$(cd "$1" && pwd)
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/brevio-mail.XXXXXX")
fi
case $dir in *[!A-Za-z0-9._/-]*) brevio_ts_die "folder path must not need quoting: $dir";; esac
if pid=$(brevio_ts_master_pid "$dir") && [ -n "$pid" ]; then
  brevio_ts_die "a server is already running in $dir (pid $pid); stop it with stop.sh first"
fi

# Only our own subfolders are replaced; anything else in DIR stays.
rm -rf "$dir/run" "$dir/state" "$dir/log" "$dir/mail" "$dir/ssl"
mkdir -p "$dir/run" "$dir/state" "$dir/log" "$dir/mail" "$dir/ssl"
# The mail processes (user "mail") must be able to reach DIR/mail.
chmod 755 "$dir"

# --- certificate for localhost and 127.0.0.1; tests trust it as their only CA
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 \
  -keyout "$dir/ssl/server.key" -out "$dir/ssl/server.crt" \
  -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
  >"$dir/log/openssl.log" 2>&1 || brevio_ts_die "certificate creation failed: $(cat "$dir/log/openssl.log")"
chmod 600 "$dir/ssl/server.key"

# --- users
users=()
passwords=()
while IFS=$'\t' read -r user password; do
  [ -n "$user" ] || continue
  users+=("$user")
  passwords+=("$password")
done < "$here/users.tsv"
: > "$dir/users"
for i in "${!users[@]}"; do
  printf '%s:{PLAIN}%s::::::\n' "${users[$i]}" "${passwords[$i]}" >> "$dir/users"
done
# The auth process runs as user "dovecot"; the passwords are throw-away test data.
chmod 644 "$dir/users"

# --- mail
. "$here/seed.sh"
brevio_ts_seed "$here/seed" "$dir/mail" "${users[@]}"
chown -R mail:mail "$dir/mail"

start_once() {
  read -r pop3 imap pop3s imaps oauth < <(brevio_ts_pick_ports 5)
  sed -e "s|@DIR@|$dir|g" -e "s|@POP3_PORT@|$pop3|g" -e "s|@IMAP_PORT@|$imap|g" \
      -e "s|@POP3S_PORT@|$pop3s|g" -e "s|@IMAPS_PORT@|$imaps|g" \
      "$here/dovecot.conf.in" > "$dir/dovecot.conf"
  sed -e "s|@OAUTH_PORT@|$oauth|g" "$here/oauth2.conf.in" > "$dir/oauth2.conf"
  rm -f "$dir/run/master.pid"
  if ! dovecot -c "$dir/dovecot.conf" >>"$dir/log/start.log" 2>&1; then
    return 1
  fi
  local pid=""
  for _ in $(seq 1 200); do
    pid=$(brevio_ts_master_pid "$dir")
    if [ -n "$pid" ] &&
       brevio_ts_port_ready "$pop3" "+OK" && brevio_ts_port_ready "$imap" "* OK" &&
       brevio_ts_port_ready "$pop3s" && brevio_ts_port_ready "$imaps"; then
      return 0
    fi
    if [ -n "$pid" ] && ! brevio_ts_alive "$pid"; then
      return 1
    fi
    sleep 0.05
  done
  # Not ready within about 10 s: stop what did start before trying again or giving up.
  [ -n "$pid" ] && "$here/stop.sh" "$dir" >/dev/null 2>&1 || true
  return 1
}

if ! brevio_ts_start_with_retries Dovecot; then
  {
    echo "test-server: Dovecot did not start in $dir"
    echo "--- start output"; cat "$dir/log/start.log" 2>/dev/null || true
    echo "--- dovecot.log";  tail -n 40 "$dir/log/dovecot.log" 2>/dev/null || true
  } >&2
  exit 1
fi

# --- env: shell KEY='VALUE' lines
quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
{
  echo "BREVIO_TEST_SERVER_DIR=$(quote "$dir")"
  echo "BREVIO_TEST_HOST=127.0.0.1"
  echo "BREVIO_TEST_POP3_PORT=$pop3"
  echo "BREVIO_TEST_IMAP_PORT=$imap"
  echo "BREVIO_TEST_POP3S_PORT=$pop3s"
  echo "BREVIO_TEST_IMAPS_PORT=$imaps"
  echo "BREVIO_TEST_OAUTH_PORT=$oauth"
  echo "BREVIO_TEST_CA_FILE=$(quote "$dir/ssl/server.crt")"
  echo "BREVIO_TEST_LOG_FILE=$(quote "$dir/log/dovecot.log")"
  echo "BREVIO_TEST_MAIL_ROOT=$(quote "$dir/mail")"
  echo "BREVIO_TEST_USERS=$(quote "${users[*]}")"
  for i in "${!users[@]}"; do
    key=$(printf '%s' "${users[$i]}" | tr 'a-z' 'A-Z')
    echo "BREVIO_TEST_${key}_USER=$(quote "${users[$i]}")"
    echo "BREVIO_TEST_${key}_PASSWORD=$(quote "${passwords[$i]}")"
    echo "BREVIO_TEST_${key}_MAILDIR=$(quote "$dir/mail/${users[$i]}")"
  done
} > "$dir/env"

echo "$dir"
