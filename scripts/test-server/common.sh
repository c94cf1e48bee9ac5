# Helpers shared by the test-server scripts. Sourced, not run.

brevio_ts_die() {
  echo "test-server: $*" >&2
  exit 1
}

# Prints the pid of the Dovecot master that runs from folder $1, or nothing when none does.
# The pid file alone is not trusted: the process must still be a dovecot master whose
# command line names this folder's configuration.
brevio_ts_master_pid() {
  local dir=$1 pid
  [ -f "$dir/run/master.pid" ] || return 0
  pid=$(tr -dc '0-9' < "$dir/run/master.pid")
  [ -n "$pid" ] || return 0
  [ -r "/proc/$pid/cmdline" ] || return 0
  if tr '\0' ' ' < "/proc/$pid/cmdline" | grep -qF -- "$dir/dovecot.conf"; then
    echo "$pid"
  fi
}

# True while process $1 exists and has not yet ended (a zombie counts as ended: whether its
# parent reaps it is not ours to decide).
brevio_ts_alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != "Z" ]
}

# Ports in use by any TCP socket on this machine, one a line.
brevio_ts_used_ports() {
  local f
  for f in /proc/net/tcp /proc/net/tcp6; do
    [ -r "$f" ] || continue
    while read -r _ local _; do
      [[ $local == *:* ]] && echo $((16#${local##*:}))
    done < <(tail -n +2 "$f")
  done
}

# Prints $1 distinct free ports, blank-separated.
brevio_ts_pick_ports() {
  local used port picked=()
  used=" $(brevio_ts_used_ports | tr '\n' ' ') "
  while [ ${#picked[@]} -lt "$1" ]; do
    port=$((20000 + RANDOM % 40000))
    case "$used ${picked[*]} " in *" $port "*) continue;; esac
    picked+=("$port")
  done
  echo "${picked[@]}"
}

# True once a plain port greets with $2, or an implicit-TLS port accepts (no $2).
brevio_ts_port_ready() {
  local port=$1 greeting=${2:-}
  timeout 2 bash -c '
    exec 3<>/dev/tcp/127.0.0.1/'"$port"' || exit 1
    [ -z "$1" ] && exit 0
    IFS= read -r line <&3 || exit 1
    [[ $line == "$1"* ]]' _ "$greeting" 2>/dev/null
}

# A value single-quoted for a shell KEY='VALUE' line.
brevio_ts_quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# Prints the pids of the processes whose root folder is DIR/root (the Courier server that
# courier-start.sh started in DIR), one a line.
brevio_ts_courier_pids() {
  local root=$1/root p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
  done
  return 0
}

# Runs start_once (defined by the caller) up to three times; true once it succeeds.
brevio_ts_start_with_retries() {
  local name=$1 attempt
  for attempt in 1 2 3; do
    start_once && return 0
    echo "test-server: $name start attempt $attempt failed" >&2
  done
  return 1
}

# Prints the server's folder: $1 made if needed, or a new temporary folder named after
# template $2. Dies when the path would need quoting in the configuration files.
brevio_ts_server_dir() {
  local dir
  if [ -n "$1" ]; then
    mkdir -p "$1"
    dir=$(cd "$1" && pwd)
  else
    dir=$(mktemp -d "${TMPDIR:-/tmp}/$2")
  fi
  case $dir in *[!A-Za-z0-9._/-]*) brevio_ts_die "folder path must not need quoting: $dir";; esac
  echo "$dir"
}

# Reads the test users of file $1 (user TAB password a line) into the caller's arrays `users`
# and `passwords`.
brevio_ts_read_users() {
  local user password
  users=()
  passwords=()
  while IFS=$'\t' read -r user password; do
    [ -n "$user" ] || continue
    users+=("$user")
    passwords+=("$password")
  done < "$1"
}

# A throw-away certificate for localhost and 127.0.0.1: key file $1, certificate file $2; the
# tool's output goes to log file $3.
brevio_ts_make_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -keyout "$1" -out "$2" \
    -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" >"$3" 2>&1 ||
    brevio_ts_die "certificate creation failed: $(cat "$3")"
}

# Prints the env file's KEY='VALUE' lines, every key starting with $1: the server folder $2, the
# ports $3 ("POP3 IMAP POP3S IMAPS"), the CA file $4, the log file $5, the mail root $6, any
# further NAME=VALUE arguments as they are, then the caller's `users` and `passwords`.
brevio_ts_write_env() {
  local p=$1 dir=$2 ca=$4 log=$5 mail=$6 pop3 imap pop3s imaps extra i key
  read -r pop3 imap pop3s imaps <<<"$3"
  shift 6
  echo "${p}_SERVER_DIR=$(brevio_ts_quote "$dir")"
  echo "${p}_HOST=127.0.0.1"
  echo "${p}_POP3_PORT=$pop3"
  echo "${p}_IMAP_PORT=$imap"
  echo "${p}_POP3S_PORT=$pop3s"
  echo "${p}_IMAPS_PORT=$imaps"
  echo "${p}_CA_FILE=$(brevio_ts_quote "$ca")"
  echo "${p}_LOG_FILE=$(brevio_ts_quote "$log")"
  echo "${p}_MAIL_ROOT=$(brevio_ts_quote "$mail")"
  for extra in "$@"; do
    echo "${p}_$extra"
  done
  echo "${p}_USERS=$(brevio_ts_quote "${users[*]}")"
  for i in "${!users[@]}"; do
    key=$(printf '%s' "${users[$i]}" | tr 'a-z' 'A-Z')
    echo "${p}_${key}_USER=$(brevio_ts_quote "${users[$i]}")"
    echo "${p}_${key}_PASSWORD=$(brevio_ts_quote "${passwords[$i]}")"
    echo "${p}_${key}_MAILDIR=$(brevio_ts_quote "$mail/${users[$i]}")"
  done
}

# True once the command "$@" lists no pid any more, polled every 50 ms up to $1 times.
brevio_ts_wait_gone() {
  local polls=$1 _
  shift
  for _ in $(seq 1 "$polls"); do
    [ -z "$("$@")" ] && return 0
    sleep 0.05
  done
  return 1
}

# Ends the processes that the command "$@" lists (their pids, one a line; nothing once they
# have ended): TERM, then after $1 s KILL, then 5 s more before giving up. $2 names them.
brevio_ts_stop_listed() {
  local seconds=$1 what=$2 pids
  shift 2
  pids=$("$@")
  [ -n "$pids" ] || return 0
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  brevio_ts_wait_gone $((seconds * 20)) "$@" && return 0
  pids=$("$@")
  echo "test-server: $what $pids did not stop within $seconds s; killing them" >&2
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  brevio_ts_wait_gone 100 "$@" && return 0
  brevio_ts_die "$what still running: $("$@")"
}
