#!/usr/bin/env bash
# Starts a private Courier IMAP and POP3 server on loopback, a second real server for the live
# tests beside the Dovecot one, with the same users and seeded mail.
#   courier-start.sh [DIR]
# Debian's Courier packages conflict with Dovecot's, so they are not installed: they are
# downloaded with apt-get, unpacked into DIR/root and run there in a private mount namespace
# with DIR/root as their root folder (their configuration and socket paths are compiled in).
# The host's libraries are lent to it read-only. Needs root. The last line on stdout is DIR; DIR/env
# holds BREVIO_TEST_COURIER_* (the same keys as the Dovecot server's env, with that prefix).
set -euo pipefail
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
. "$here/../lib.sh"

[ "$(id -u)" -eq 0 ] || brevio_ts_die "must run as root: the server runs in a mount namespace of its own"
command -v unshare >/dev/null || brevio_ts_die "unshare is not installed (package util-linux)"

dir=$(brevio_ts_server_dir "${1:-}" brevio-courier.XXXXXX)
[ -z "$(brevio_ts_courier_pids "$dir")" ] ||
  brevio_ts_die "a Courier server is already running in $dir; stop it with courier-stop.sh first"

# Libraries the programs load from the host, and the certificate tool.
brevio_install_packages openssl libgdbm6 libltdl7 libgnutls30 libpcre3 libglib2.0-0 >&2

root=$dir/root
rm -rf "${root:?}" "$dir/log"
mkdir -p "$root" "$dir/log"
chmod 755 "$dir"

# --- the programs, from Debian's archive (kept in a cache so later starts need no network)
packages=(courier-base courier-imap courier-pop courier-authlib courier-authlib-userdb
          libcourier-unicode4 libidn12 libgamin0 gamin)
cache=${BREVIO_COURIER_CACHE:-/var/cache/brevio-courier}
mkdir -p "$cache"
fetch() {
  (cd "$cache" && apt-get download "${packages[@]}") >"$dir/log/download.log" 2>&1
}
# The newest kept file of each package; a file cut short by an earlier download that was
# interrupted is removed, so it is fetched again instead of failing every start.
newest() { ls -1 "$cache/${1}"_*.deb 2>/dev/null | sort -V | tail -1; }
have_all() {
  local p deb
  for p in "${packages[@]}"; do
    deb=$(newest "$p")
    [ -n "$deb" ] || return 1
    dpkg-deb --info "$deb" >/dev/null 2>&1 || { rm -f "$deb"; return 1; }
  done
}
if ! have_all; then
  fetch || { apt-get update -qq >>"$dir/log/download.log" 2>&1 && fetch; } ||
    brevio_ts_die "could not download ${packages[*]}: $(tail -n 5 "$dir/log/download.log")"
fi
for p in "${packages[@]}"; do
  deb=$(newest "$p")
  dpkg-deb -x "$deb" "$root"
done

# --- the private root: its own /etc/courier and /run, the host's libraries bound in at start
mkdir -p "$root/usr/lib/courier-libs"
mv "$root"/usr/lib/x86_64-linux-gnu/* "$root/usr/lib/courier-libs/"
rm -rf "${root:?}/lib" "${root:?}/lib64"
ln -s usr/lib "$root/lib"
ln -s usr/lib64 "$root/lib64"
mkdir -p "$root/usr/lib64" "$root/dev" "$root/tmp" "$root/run/courier/authdaemon" "$root/mail" "$root/log"
chmod 1777 "$root/tmp"
# The private root has user and group files of its own, not copies of the machine's. STARTTLS
# and STLS start the TLS helper as the user "courier", looked up by name here; it must own the
# key file. A machine with a "courier" user of its own (Courier installed once, or removed
# without purging) would otherwise lend that one, with another uid: the helper could not read
# the key and STARTTLS would end right after "Begin SSL/TLS negotiation now", while the
# implicit-TLS ports, whose helper runs as root, kept working.
uid=$(id -u mail)
gid=$(id -g mail)
printf '%s\n' "root:x:0:0:root:/root:/usr/sbin/nologin" \
  "mail:x:$uid:$gid:mail:/nonexistent:/usr/sbin/nologin" \
  "courier:x:$uid:$gid:courier:/nonexistent:/usr/sbin/nologin" \
  "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin" > "$root/etc/passwd"
printf '%s\n' "root:x:0:" "mail:x:$gid:" "courier:x:$gid:" "nogroup:x:65534:" > "$root/etc/group"
missing=$(LD_LIBRARY_PATH="$root/usr/lib:$root/usr/lib/courier-libs" \
  ldd "$root/usr/bin/imapd" "$root/usr/lib/courier/courier/courierpop3d" "$root/usr/bin/couriertls" \
      "$root/usr/lib/courier/courier-authlib/authdaemond" "$root/usr/sbin/couriertcpd" 2>&1 |
  grep 'not found' | sort -u || true)
[ -z "$missing" ] || brevio_ts_die "libraries missing: $missing"

cat > "$root/etc/courier/authdaemonrc" <<'EOF'
authmodulelist="authuserdb"
authmodulelistorig="authuserdb"
daemons=2
authdaemonvar=/run/courier/authdaemon
DEBUG_LOGIN=0
DEFAULTOPTIONS=""
LOGGEROPTS=""
EOF

# --- certificate for localhost and 127.0.0.1, key and certificate in one file as Courier wants
brevio_ts_make_certificate "$dir/server.key" "$dir/server.crt" "$dir/log/openssl.log"
cat "$dir/server.key" "$dir/server.crt" > "$root/etc/courier/server.pem"
chmod 600 "$root/etc/courier/server.pem" "$dir/server.key"
# STARTTLS and STLS run the TLS helper as the user "courier" (above), which must read the key.
chown mail:mail "$root/etc/courier/server.pem"

# --- users: the account data in userdb.dat, the password hashes in userdbshadow.dat
brevio_ts_read_users "$here/users.tsv"
: > "$dir/userdb.txt"
: > "$dir/userdbshadow.txt"
for i in "${!users[@]}"; do
  u=${users[$i]}
  printf '%s\tuid=%s|gid=%s|home=/mail/%s|mail=/mail/%s\n' "$u" "$uid" "$gid" "$u" "$u" >> "$dir/userdb.txt"
  printf '%s\tsystempw=%s\n' "$u" "$(openssl passwd -6 -stdin <<<"${passwords[$i]}")" >> "$dir/userdbshadow.txt"
done
makedat() {
  (cat "$1"; echo .) > "$1.in"
  LD_LIBRARY_PATH="$root/usr/lib:$root/usr/lib/courier-libs" \
    "$root/usr/lib/courier/courier-authlib/makedatprog" "$1.in" "$1.tmp" "$2" ||
    brevio_ts_die "could not build $2"
  rm -f "$1.in" "$1.tmp"
}
makedat "$dir/userdb.txt" "$root/etc/courier/userdb.dat"
makedat "$dir/userdbshadow.txt" "$root/etc/courier/userdbshadow.dat"
chmod 600 "$root/etc/courier/userdbshadow.dat" "$dir/userdbshadow.txt"

# --- mail: Courier keeps Unicode folder names on disk as UTF-8, adds the CR to each line, and
# caches the last message it opened by its file name, across folders (same names in two
# folders would make it show the other folder's message).
. "$here/seed.sh"
BREVIO_TS_UTF8_NAMES=1 BREVIO_TS_LF_FILES=1 BREVIO_TS_DISTINCT_NAMES=1 \
  brevio_ts_seed "$here/seed" "$root/mail" "${users[@]}"
chown -R mail:mail "$root/mail"

# --- start: inside a private mount namespace the host's libraries are bound into the root,
# then each daemon runs chrooted there. The mounts vanish with the last of these processes.
# The daemons get a session of their own: on shutdown they signal their whole process group,
# which would otherwise be the group of whoever started them (the test run itself).
start_once() {
  read -r pop3 imap pop3s imaps < <(brevio_ts_pick_ports 4)
  rm -f "$root"/run/courier/*.pid
  setsid -w unshare -m --propagation private bash -s "$root" "$dir/log" "$imap" "$imaps" "$pop3" "$pop3s" \
    >>"$dir/log/start.log" 2>&1 <<'EOF' || return 1
set -eu
root=$1 log=$2 imap=$3 imaps=$4 pop3=$5 pop3s=$6
mount --bind -o ro /usr/lib/x86_64-linux-gnu "$root/usr/lib/x86_64-linux-gnu"
mount --bind -o ro /usr/lib64 "$root/usr/lib64"
mount --bind /dev "$root/dev"
# The daemons' log folder, so that what each connection's programs write to standard error (the
# TLS helper's complaints, say) lands in DIR/log/imap.log, imaps.log, pop3.log or pop3s.log.
mount --bind "$log" "$root/log"
base=(/usr/bin/env -i LD_LIBRARY_PATH=/usr/lib:/usr/lib/courier-libs PATH=/usr/bin:/usr/sbin
      COURIERTLS=/usr/bin/couriertls TLS_CERTFILE=/etc/courier/server.pem TLS_VERIFYPEER=NONE)
# UIDPLUS is left out of what IMAP announces (Courier has it), so deletes take the way for
# servers without it, against a real server.
imap_env=(IMAP_CAPABILITY="IMAP4rev1 CHILDREN NAMESPACE" IMAP_CAPABILITY_TLS="IMAP4rev1 CHILDREN NAMESPACE AUTH=PLAIN"
          IMAP_TLS_REQUIRED=0 IMAP_KEYWORDS=1 IMAP_USELOCKS=1 IMAP_ENHANCEDIDLE=0 IMAP_UMASK=022)
pop_env=(POP3AUTH= POP3AUTH_TLS= POP3_TLS_REQUIRED=0)
tcpd=(/usr/sbin/couriertcpd -address=127.0.0.1 -nodnslookup -noidentlookup -maxprocs=40 -maxperip=40)
imapd=(/usr/lib/courier/courier/imaplogin /usr/bin/imapd .)
pop3d=(/usr/lib/courier/courier/courierpop3login /usr/lib/courier/courier/courierpop3d .)
tls=(/usr/bin/couriertls -server -tcpd)
"${base[@]}" chroot "$root" /usr/lib/courier/courier-authlib/authdaemond >"$log/authdaemond.log" 2>&1 &
echo $! > "$root/run/courier/authdaemond.pid"
"${base[@]}" "${imap_env[@]}" IMAP_STARTTLS=YES chroot "$root" "${tcpd[@]}" -pid=/run/courier/imap.lock -stderr=/log/imap.log \
  "$imap" "${imapd[@]}" >>"$log/imap.log" 2>&1 &
echo $! > "$root/run/courier/imap.pid"
"${base[@]}" "${imap_env[@]}" IMAP_STARTTLS=NO IMAP_TLS=1 chroot "$root" "${tcpd[@]}" -pid=/run/courier/imaps.lock -stderr=/log/imaps.log \
  "$imaps" "${tls[@]}" "${imapd[@]}" >>"$log/imaps.log" 2>&1 &
echo $! > "$root/run/courier/imaps.pid"
"${base[@]}" "${pop_env[@]}" POP3_STARTTLS=YES chroot "$root" "${tcpd[@]}" -pid=/run/courier/pop3.lock -stderr=/log/pop3.log \
  "$pop3" "${pop3d[@]}" >>"$log/pop3.log" 2>&1 &
echo $! > "$root/run/courier/pop3.pid"
"${base[@]}" "${pop_env[@]}" POP3_STARTTLS=NO POP3_TLS=1 chroot "$root" "${tcpd[@]}" -pid=/run/courier/pop3s.lock -stderr=/log/pop3s.log \
  "$pop3s" "${tls[@]}" "${pop3d[@]}" >>"$log/pop3s.log" 2>&1 &
echo $! > "$root/run/courier/pop3s.pid"
EOF
  for _ in $(seq 1 200); do
    if brevio_ts_port_ready "$pop3" "+OK" && brevio_ts_port_ready "$imap" "* OK" &&
       brevio_ts_port_ready "$pop3s" && brevio_ts_port_ready "$imaps" &&
       [ -S "$root/run/courier/authdaemon/socket" ]; then
      return 0
    fi
    sleep 0.05
  done
  "$here/courier-stop.sh" "$dir" >/dev/null 2>&1 || true
  return 1
}

if ! brevio_ts_start_with_retries Courier; then
  {
    echo "test-server: Courier did not start in $dir"
    for f in "$dir"/log/*.log; do echo "--- $f"; tail -n 20 "$f"; done
  } >&2
  exit 1
fi

# STARTTLS (IMAP) and STLS (POP3) start the TLS helper only when a client asks, and when it fails
# the server tells that client alone, in plain text after the failed handshake; no log says why.
# So try each once now, and when no TLS session comes of it, write what the server answered into
# that port's log as a "test-server:" line: a live test that fails over STARTTLS shows it. The
# server runs on all the same, so those tests fail with the reason instead of being skipped.
starttls_check() {
  local proto=$1 port=$2 out answer
  out=$(openssl s_client -debug -starttls "$proto" -connect "127.0.0.1:$port" </dev/null 2>&1 | tr -d '\000' || true)
  grep -q '^New, TLS' <<<"$out" && return 0
  # -debug dumps every read; the text column of the dumps after "closed" is the plain answer.
  answer=$(sed -n '/^closed$/,$p' <<<"$out" | grep '^[0-9a-f]\{4\} - ' | cut -c58- | tr -d '\n' || true)
  echo "test-server: STARTTLS on port $port gave no TLS session; the server answered: ${answer:-nothing}" |
    tee -a "$dir/log/$proto.log" >&2
}
starttls_check imap "$imap"
starttls_check pop3 "$pop3"

brevio_ts_write_env BREVIO_TEST_COURIER "$dir" "$pop3 $imap $pop3s $imaps" "$dir/server.crt" "$dir/log/imap.log" "$root/mail" \
  MAILDIR_NAMES=utf8 > "$dir/env"

echo "$dir"
