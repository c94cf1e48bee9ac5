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

dir=$(brevio_ts_server_dir "${1:-}" brevio-mail.XXXXXX)
if pid=$(brevio_ts_master_pid "$dir") && [ -n "$pid" ]; then
  brevio_ts_die "a server is already running in $dir (pid $pid); stop it with stop.sh first"
fi

# Only our own subfolders are replaced; anything else in DIR stays.
rm -rf "$dir/run" "$dir/state" "$dir/log" "$dir/mail" "$dir/ssl"
mkdir -p "$dir/run" "$dir/state" "$dir/log" "$dir/mail" "$dir/ssl"
# The mail processes (user "mail") must be able to reach DIR/mail.
chmod 755 "$dir"

# --- certificate for localhost and 127.0.0.1; tests trust it as their only CA
brevio_ts_make_certificate "$dir/ssl/server.key" "$dir/ssl/server.crt" "$dir/log/openssl.log"
chmod 600 "$dir/ssl/server.key"

# --- users
brevio_ts_read_users "$here/users.tsv"
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
brevio_ts_write_env BREVIO_TEST "$dir" "$pop3 $imap $pop3s $imaps" "$dir/ssl/server.crt" "$dir/log/dovecot.log" "$dir/mail" \
  "OAUTH_PORT=$oauth" > "$dir/env"

echo "$dir"
