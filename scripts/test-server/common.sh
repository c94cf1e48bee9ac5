# Helpers shared by start.sh and stop.sh. Sourced, not run.

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
