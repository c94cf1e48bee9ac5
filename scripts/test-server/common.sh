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
