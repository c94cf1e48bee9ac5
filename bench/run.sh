#!/usr/bin/env bash
# Benchmark of a check: brevio-check against the raw limit (the same commands, the replies only
# counted) and a reference client of ours that reads its replies, on a private Dovecot with
# mailboxes of 5,000 and 50,000 small messages, over plain loopback and over a delay proxy.
# Prints a table of medians and the ratios to the limit. Needs root (the test mail server) and
# the build tools.
#
#   bench/run.sh
#
# Environment:
#   BENCH_REPS=5       repetitions per measurement (a run over 10 s is taken once)
#   BENCH_BUDGET=30    seconds: a run expected to take longer is not run but extrapolated
#   BENCH_RTT=20       round-trip time in ms of the delayed runs
#   BENCH_BUILD=DIR    build folder (default build-bench/ of this tree)
#   BREVIO_CHECK=FILE  the brevio-check to measure (default: the one built here)
#   BENCH_TMP=DIR      where the server and its mail live (default /dev/shm)
set -euo pipefail
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
reps=${BENCH_REPS:-5}
budget=${BENCH_BUDGET:-30}
rtt=${BENCH_RTT:-20}
sub=100   # messages of the subset mailbox that slow runs are extrapolated from

[ "$(id -u)" -eq 0 ] || { echo "bench: must run as root (the test mail server)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (package time)" >&2; exit 1; }

# --- build
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
if ! grep -qx "BREVIO_BENCH:BOOL=ON" "$build/CMakeCache.txt" 2>/dev/null; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DBREVIO_BENCH=ON "${launcher[@]}" >/dev/null
fi
nice cmake --build "$build" --target brevio-check delay_proxy ref_client raw_reader ui_stall window_check >/dev/null
check=${BREVIO_CHECK:-$build/brevio-check}
bin=$build/bench

# --- server, mail, proxies
# In memory when possible: seeding 55,000 files then takes a second or two, and the disk's
# other users do not show in the timings.
tmp=${BENCH_TMP:-/dev/shm}
[ -d "$tmp" ] && [ -w "$tmp" ] || tmp=${TMPDIR:-/tmp}
work=$(mktemp -d "$tmp/brevio-bench.XXXXXX")
chmod 755 "$work"   # the server's processes read below it
proxies=()
server=""
cleanup() {
  local pid
  for pid in "${proxies[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "$server" ] && "$root/scripts/test-server/stop.sh" "$server" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
server=$("$root/scripts/test-server/start.sh" "$work/server" | tail -1)
. "$server/env"

declare -A count=([empty]=0 [sub]=$sub [5k]=5000 [50k]=50000)
users=(empty sub 5k 50k)
started=$EPOCHREALTIME
for u in "${users[@]}"; do printf 'bench%s:{PLAIN}benchpw::::::\n' "$u" >> "$server/users"; done
specs=()
for u in "${users[@]}"; do specs+=("bench$u:${count[$u]}"); done
python3 "$root/bench/seed.py" "$BREVIO_TEST_MAIL_ROOT" "${specs[@]}"
chown -R mail:mail "$BREVIO_TEST_MAIL_ROOT"
echo "bench: seeded $((5000 + 50000 + sub)) messages in $(awk "BEGIN{printf \"%.1f\", $EPOCHREALTIME - $started}") s" >&2

# start_proxy ROUTE DELAY_MS STATS: a delay proxy to both plain ports; its ports go to the route.
declare -A pop3port imapport
start_proxy() {
  local out=$work/proxy-$1
  "$bin/delay_proxy" "$2" "$3" "$BREVIO_TEST_POP3_PORT" "$BREVIO_TEST_IMAP_PORT" > "$out" &
  proxies+=($!)
  for _ in $(seq 100); do [ "$(wc -l < "$out")" -ge 2 ] && break; sleep 0.05; done
  pop3port[$1]=$(awk 'NR==1{print $2}' "$out")
  imapport[$1]=$(awk 'NR==2{print $2}' "$out")
}
pop3port[0]=$BREVIO_TEST_POP3_PORT; imapport[0]=$BREVIO_TEST_IMAP_PORT
: > "$work/bytes"
start_proxy "$rtt" "$(awk "BEGIN{print $rtt / 2}")" -
start_proxy count 0 "$work/bytes"

# Settings file for one route (0, $rtt or count) with FPipelining $2.
settings() {
  local f=$work/settings-$1-$2.ini i=0 u p
  if [ ! -f "$f" ]; then
    {
      echo "[Main]"
      echo "FPipelining=$2"
      echo "NumMailbox=$(( ${#users[@]} * 2 ))"
      for u in "${users[@]}"; do
        for p in pop3 imap; do
          local port; if [ $p = pop3 ]; then port=${pop3port[$1]}; else port=${imapport[$1]}; fi
          printf 'Name%d=%s-%s\nHost%d=127.0.0.1\nPort%d=%s\nUserName%d=bench%s\nPassword%d=benchpw\n' \
            $i $p $u $i $i "$port" $i "$u" $i
          printf 'IgnoreCheckAllCommand%d=0\nIgnoreCheckOnSchedule%d=0\nPOPorIMAP%d=%d\nSecurity%d=0\n' \
            $i $i $i "$([ $p = pop3 ] && echo 1 || echo 0)" $i
          i=$((i + 1))
        done
      done
    } > "$f"
  fi
  echo "$f"
}

# Messages delivered to a mailbox beyond its seeded count (see deliver_new).
extra=0

# once MODE PROTO ROUTE USER [CACHE]: one run; prints "seconds peak-RSS-KiB".
# MODE: raw, ref, cold, warm, nopipe or new (a check with a cache, as warm and new are).
once() {
  local mode=$1 proto=$2 route=$3 u=$4 cache=${5:-} t0 t1 n rc=0 ini=""
  local port; if [ "$proto" = pop3 ]; then port=${pop3port[$route]}; else port=${imapport[$route]}; fi
  # The settings file and a cold run's cache folder are made before the clock starts: the shell
  # commands that make them are no part of a check.
  local fresh=""
  if [ "$mode" != ref ] && [ "$mode" != raw ]; then
    ini=$(settings "$route" "$([ "$mode" = nopipe ] && echo 0 || echo 1)")
    [ -z "$cache" ] && { cache=$(mktemp -d "$work/cache.XXXXXX"); fresh=$cache; }
  fi
  t0=$EPOCHREALTIME
  if [ "$mode" = ref ] || [ "$mode" = raw ]; then
    local client=ref_client; [ "$mode" = raw ] && client=raw_reader
    "$bin/$client" "$proto" 127.0.0.1 "$port" "bench$u" benchpw > "$work/out" 2> "$work/err" || rc=$?
    t1=$EPOCHREALTIME
    n=$(awk '{print $1}' "$work/out")
    echo 0 > "$work/rss"
  else
    XDG_CACHE_HOME=$cache /usr/bin/time -o "$work/rss" -f %M "$check" --settings "$ini" \
      --format tsv --mailbox "$proto-$u" > "$work/out" 2> "$work/err" || rc=$?
    t1=$EPOCHREALTIME
    n=$(($(wc -l < "$work/out") - 1))
    [ -n "$fresh" ] && rm -rf "$fresh"
  fi
  if [ "$rc" -ne 0 ] || [ "$n" != "$((count[$u] + extra))" ]; then
    echo "bench: $mode $proto $route $u: exit $rc, $n of ${count[$u]} rows; $(head -c 300 "$work/err")" >&2
    : > "$work/failed"
  fi
  echo "$(awk "BEGIN{printf \"%.3f\", $t1 - $t0}") $(tail -1 "$work/rss")"
}

# once runs in a subshell: a failed run stops the benchmark here.
run_once() { local r; r=$(once "$@"); [ ! -e "$work/failed" ] || exit 1; echo "$r"; }

median() { sort -n | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Results by "mode proto route user": T seconds (median), X "~" when extrapolated, M peak RSS KiB.
declare -A T X M
# measure MODE PROTO ROUTE USER: the median of up to $reps runs, or an extrapolation from the
# next smaller mailbox when one run would exceed the budget.
measure() {
  local mode=$1 proto=$2 route=$3 u=$4 key="$1 $2 $3 $4" times="" rss=0 i r cache=""
  if [ "$u" != empty ] && [ "$u" != sub ]; then
    local base=sub; [ "$u" = 50k ] && [ -n "${T[$mode $proto $route 5k]:-}" ] && [ -z "${X[$mode $proto $route 5k]}" ] && base=5k
    local t0=${T[$mode $proto $route empty]} tb=${T[$mode $proto $route $base]}
    local est; est=$(awk "BEGIN{e=$t0+($tb-$t0)*${count[$u]}/${count[$base]}; print (e<$t0)?$t0:e}")
    # A warm run needs a cold one first.
    local cost=$est; [ "$mode" = warm ] && cost=$(awk "BEGIN{print $est+${T[cold $proto $route $u]}}")
    # The cold run of the full mailbox on loopback always runs once: it gives the peak memory.
    if awk "BEGIN{exit !($cost > $budget)}" && [ "$mode $route" != "cold 0" ]; then
      T[$key]=$est; X[$key]="~"; M[$key]=""
      echo "bench: $key extrapolated from $base: ${est} s" >&2
      return
    fi
  fi
  if [ "$mode" = warm ]; then
    cache=$(mktemp -d "$work/cache.XXXXXX")
    run_once cold "$proto" "$route" "$u" "$cache" > /dev/null
  fi
  for ((i = 0; i < reps; i++)); do
    r=$(run_once "$mode" "$proto" "$route" "$u" "$cache")
    times+="${r% *}"$'\n'
    [ "${r#* }" -gt "$rss" ] && rss=${r#* }
    [ "$u" = sub ] && break                                   # a probe only
    awk "BEGIN{exit !(${r% *} > 10)}" && break
  done
  T[$key]=$(printf '%s' "$times" | median); X[$key]=""; M[$key]=$rss
  echo "bench: $key ${T[$key]} s" >&2
}

# measure_in_turns PROTO ROUTE USER: the raw limit, the reference, the cold and the warm check
# of one mailbox, $reps runs of each taken in turns (raw, ref, cold, warm, raw, ...), so a server
# whose speed drifts over the minutes of a benchmark weighs on every mode alike. Medians as
# measure gives them.
measure_in_turns() {
  local proto=$1 route=$2 u=$3 i m r cache
  local -A times=() rss=()
  cache=$(mktemp -d "$work/cache.XXXXXX")
  run_once cold "$proto" "$route" "$u" "$cache" > /dev/null   # the warm runs' cache
  for ((i = 0; i < reps; i++)); do
    for m in raw ref cold warm; do
      if [ "$m" = warm ]; then r=$(run_once warm "$proto" "$route" "$u" "$cache")
      else r=$(run_once "$m" "$proto" "$route" "$u"); fi
      times[$m]+="${r% *}"$'\n'
      [ "${r#* }" -gt "${rss[$m]:-0}" ] && rss[$m]=${r#* }
    done
  done
  for m in raw ref cold warm; do
    T[$m $proto $route $u]=$(printf '%s' "${times[$m]}" | median); X[$m $proto $route $u]=""
    M[$m $proto $route $u]=${rss[$m]:-0}
    echo "bench: $m $proto $route $u ${T[$m $proto $route $u]} s (in turns)" >&2
  done
}

# Bytes moved (both ways) by one run through the counting proxy; warm runs after the cold one.
declare -A B BX
bytes_of() {
  local before after lines
  before=$(wc -l < "$work/bytes")
  run_once "$@" > /dev/null
  # The proxy logs a connection when both ends have closed, just after the client ends.
  for _ in $(seq 60); do
    after=$(wc -l < "$work/bytes"); [ "$after" -gt "$before" ] && break; sleep 0.05
  done
  sleep 0.1
  tail -n +"$((before + 1))" "$work/bytes" | awk '{s+=$1+$2} END{print s+0}'
}

# deliver_new N: N new messages in the 50,000-message mailbox, as a delivery agent writes them.
deliver_new() {
  local box=$BREVIO_TEST_MAIL_ROOT/bench50k i name
  for ((i = 1; i <= $1; i++)); do
    name=$(date +%s).M${i}P$$.benchnew
    printf 'From: New Sender <new%d@example.com>\r\nTo: user@example.org\r\nSubject: New message %d\r\nDate: Tue, 8 Dec 2026 10:00:00 +0100\r\nMessage-ID: <%d.new@example.com>\r\n\r\nNew.\r\n' \
      "$i" "$i" "$i" > "$box/new/$name"
  done
  chown mail:mail "$box"/new/*
  extra=$1
}

# measure_new PROTO: a check of the 50,000-message mailbox after ten new messages came since the
# last check: a cold check fills a cache, ten messages are delivered, and every run starts from
# a copy of that cache. Time and bytes as "new PROTO 0 50k"; the ten are removed afterwards. The
# cache knows an account by its port, so the counting proxy's route gets a cache of its own.
measure_new() {
  local proto=$1 key="new $1 0 50k" base counted times="" i r cache
  base=$(mktemp -d "$work/cache.XXXXXX")
  counted=$(mktemp -d "$work/cache.XXXXXX")
  run_once cold "$proto" 0 50k "$base" > /dev/null
  run_once cold "$proto" count 50k "$counted" > /dev/null
  deliver_new 10
  for ((i = 0; i < reps; i++)); do
    cache=$(mktemp -d "$work/cache.XXXXXX"); cp -a "$base/." "$cache/"
    r=$(run_once new "$proto" 0 50k "$cache")
    times+="${r% *}"$'\n'
  done
  T[$key]=$(printf '%s' "$times" | median); X[$key]=""
  B[$key]=$(bytes_of new "$proto" count 50k "$counted")
  echo "bench: $key ${T[$key]} s" >&2
  rm -f "$BREVIO_TEST_MAIL_ROOT"/bench50k/{new,cur}/*.benchnew*
  extra=0
}

# --- warm the server's own indexes and caches: its first listing of a folder is slow
for u in "${users[@]}"; do
  for p in pop3 imap; do run_once ref "$p" 0 "$u" > /dev/null; done
done

# Mailbox by mailbox, every mode of one right after the other, so the reference and brevio-check
# meet the server in the same state (its caches change over a run of minutes).
for proto in pop3 imap; do
  for route in 0 "$rtt"; do
    for u in empty sub 5k 50k; do
      modes="raw ref cold warm nopipe"
      if [ "$u" = 5k ] || [ "$u" = 50k ]; then
        measure_in_turns "$proto" "$route" "$u"
        modes=nopipe
      fi
      for mode in $modes; do
        [ "$mode" = nopipe ] && [ "$u" = 50k ] && continue
        measure "$mode" "$proto" "$route" "$u"
      done
    done
  done
  for u in 5k 50k; do
    B[ref $proto 0 $u]=$(bytes_of ref "$proto" count "$u")
    B[raw $proto 0 $u]=$(bytes_of raw "$proto" count "$u")
    if awk "BEGIN{exit !(${T[cold $proto 0 $u]} + ${T[warm $proto 0 $u]} > $budget)}"; then
      # Too slow to run again: ten times the 5,000-message figures.
      for m in cold warm; do
        [ -n "${B[$m $proto 0 5k]:-}" ] && B[$m $proto 0 $u]=$((B[$m $proto 0 5k] * 10)) && BX[$m $proto 0 $u]="~"
      done
      continue
    fi
    cache=$(mktemp -d "$work/cache.XXXXXX")
    B[cold $proto 0 $u]=$(bytes_of cold "$proto" count "$u" "$cache")
    B[warm $proto 0 $u]=$(bytes_of warm "$proto" count "$u" "$cache")
  done
  measure_new "$proto"
done

mkdir -m 700 "$work/runtime"
# The window: F9 with the 50,000-message IMAP4 mailbox alone, cold; median time, largest growth.
window_settings=$work/settings-window.ini
printf '[Main]\nFPipelining=1\nNumMailbox=1\nName0=imap-50k\nHost0=127.0.0.1\nPort0=%s\nUserName0=bench50k\nPassword0=benchpw\nPOPorIMAP0=0\nSecurity0=0\nIgnoreCheckAllCommand0=0\n' \
  "$BREVIO_TEST_IMAP_PORT" > "$window_settings"
times=""; wgrowth=0
for ((i = 0; i < reps; i++)); do
  cache=$(mktemp -d "$work/cache.XXXXXX")
  cp "$window_settings" "$window_settings.run"
  # A run that fails or hangs leaves the window's lines of the table empty.
  r=$(XDG_CACHE_HOME=$cache XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen timeout 300 \
    "$bin/window_check" "$window_settings.run" 50000 2> "$work/err") || { echo "bench: window_check failed: $r" >&2; continue; }
  times+="${r%% *}"$'\n'
  g=${r##* }; [ "$g" -gt "$wgrowth" ] && wgrowth=$g
done
if [ -n "$times" ]; then
  T[window imap 0 50k]=$(printf '%s' "$times" | median); X[window imap 0 50k]=""
  echo "bench: window imap 0 50k ${T[window imap 0 50k]} s, +$((wgrowth / 1024)) MiB" >&2
fi
ui=$(XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen "$bin/ui_stall" 100000 5000 100000)

# --- the table
fmt_t() { [ -n "${T[$1]:-}" ] && printf '%s%.2f' "${X[$1]}" "${T[$1]}" || printf '-'; }
# ratio A B [DECIMALS]: T[A] / T[B].
ratio() {
  [ -n "${T[$1]:-}" ] && [ -n "${T[$2]:-}" ] || { printf '-'; return; }
  printf "%s%.${3:-1}f" "$([ -n "${X[$1]}${X[$2]}" ] && echo '~')" "$(awk "BEGIN{print ${T[$1]} / ${T[$2]}}")"
}
mib() { [ -n "${M[$1]:-}" ] && awk "BEGIN{printf \"%.1f\", ${M[$1]} / 1024}" || printf '-'; }
kb() { [ -n "${B[$1]:-}" ] && printf '%s%s' "${BX[$1]:-}" "$(awk "BEGIN{printf \"%.0f\", ${B[$1]} / 1024}")" || printf '-'; }

echo
echo "brevio-check: $check"
echo "Medians of up to $reps runs, seconds, whole process; for 5,000 and 50,000 messages the raw, ref,"
echo "cold and warm runs are taken in turns. RTT 0 = plain loopback."
echo "0 = raw limit (the same commands, replies only counted), 1 = reference client (reads its"
echo "replies), 2 = brevio-check cold (empty cache) / warm (second check, nothing new),"
echo "3 = brevio-check FPipelining=0 (cold). RSS = peak resident memory of the cold run."
echo "Bytes = both directions of one run at RTT 0 through a counting proxy, KiB."
echo "~ = not run but extrapolated linearly from the next smaller mailbox ($sub or 5,000 messages),"
echo "    t(N) = t(0) + (t(n) - t(0)) * N / n, because one run would take over ${budget} s;"
echo "    for bytes: ten times the 5,000-message figure."
printf '\n%-5s %4s %6s | %7s %7s %7s %7s %8s | %5s %5s %5s %5s | %7s | %8s %8s %8s\n' \
  Proto RTT Msgs "0 raw" "1 ref" "2 cold" "2 warm" "3 nopipe" "2c/0" "2c/1" "3/2c" "2w/2c" "RSS MiB" \
  "B ref" "B cold" "B warm"
for proto in pop3 imap; do
  for route in 0 "$rtt"; do
    for u in empty 5k 50k; do
      k="$proto $route $u"
      printf '%-5s %4s %6s | %7s %7s %7s %7s %8s | %5s %5s %5s %5s | %7s | %8s %8s %8s\n' \
        "$([ $proto = pop3 ] && echo POP3 || echo IMAP4)" "$route" "${count[$u]}" \
        "$(fmt_t "raw $k")" "$(fmt_t "ref $k")" "$(fmt_t "cold $k")" "$(fmt_t "warm $k")" "$(fmt_t "nopipe $k")" \
        "$(ratio "cold $k" "raw $k" 2)" "$(ratio "cold $k" "ref $k")" "$(ratio "nopipe $k" "cold $k")" \
        "$(ratio "warm $k" "cold $k" 2)" \
        "$(mib "cold $k")" "$(kb "ref $proto $route $u")" "$(kb "cold $proto $route $u")" "$(kb "warm $proto $route $u")"
    done
  done
done

# The cases of the performance goals, each as a ratio to the raw limit or to the cold check.
echo
echo "Goals. Cold checks against the raw limit (0); warm and new checks against the cold check (2c)."
printf '%-46s %8s %8s %7s  %s\n' Case brevio base ratio goal
goal() {
  printf '%-46s %8s %8s %7s  %s\n' "$1" "$(fmt_t "$2")" "$(fmt_t "$3")" "$(ratio "$2" "$3" 2)" "$4"
}
goal "POP3, 5,000, cold, loopback" "cold pop3 0 5k" "raw pop3 0 5k" "<= 1.3"
goal "POP3, 5,000, cold, $rtt ms round trip" "cold pop3 $rtt 5k" "raw pop3 $rtt 5k" "<= 1.3"
goal "POP3, 50,000, cold, loopback" "cold pop3 0 50k" "raw pop3 0 50k" "<= 1.3"
goal "IMAP4, 50,000, cold, loopback" "cold imap 0 50k" "raw imap 0 50k" "<= 1.1"
goal "IMAP4, 50,000, warm (nothing changed)" "warm imap 0 50k" "cold imap 0 50k" "<= 0.15"
goal "IMAP4, 50,000 plus 10 new" "new imap 0 50k" "cold imap 0 50k" "<= 0.2"
goal "POP3, 50,000 plus 10 new" "new pop3 0 50k" "cold pop3 0 50k" "<= 0.5"
goal "Window, IMAP4 50,000, F9 to the last row" "window imap 0 50k" "cold imap 0 50k" "<= 1.2"
printf '%-46s %8s %8s %7s  %s\n' "Window, IMAP4 50,000, memory growth" "$((wgrowth / 1024)) MiB" "" "" "<= 64 MiB"
for proto in imap pop3; do
  if [ -n "${B[new $proto 0 50k]:-}" ] && [ -n "${B[cold $proto 0 50k]:-}" ]; then
    printf '%-46s %8s %8s %6s%%  %s\n' "$([ $proto = pop3 ] && echo POP3 || echo IMAP4), 50,000 plus 10 new, bytes (KiB)" \
      "$(kb "new $proto 0 50k")" "$(kb "cold $proto 0 50k")" \
      "$(awk "BEGIN{printf \"%.2f\", 100 * ${B[new $proto 0 50k]} / ${B[cold $proto 0 50k]}}")" \
      "$([ $proto = imap ] && echo '< 1%')"
  fi
done
for proto in pop3 imap; do
  if [ -n "${M[cold $proto 0 50k]:-}" ] && [ -n "${M[cold $proto 0 empty]:-}" ]; then
    beyond=$((M[cold $proto 0 50k] - M[cold $proto 0 empty]))
    printf '%-46s %8s %8s %7s  %s\n' "$([ $proto = pop3 ] && echo POP3 || echo IMAP4), 50,000, memory beyond an empty check" \
      "$(awk "BEGIN{printf \"%.1f\", $beyond / 1024}") MiB" "" \
      "$(awk "BEGIN{printf \"%.0f\", $beyond * 1024 / 50000}") B/msg" "<= 32 MiB"
  fi
done

echo
echo "UI thread: the main window's list view (offscreen), longest gap of a 1 ms timer per step;"
echo "rows arrive = every mailbox's rows queued to the list at once, as the window takes them while"
echo "a check goes; 100,000 rows in mailboxes of 5,000, then in one. Built from this tree, whatever"
echo "BREVIO_CHECK names."
printf '%s\n' "$ui"
