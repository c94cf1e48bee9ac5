#!/usr/bin/env bash
# Writes the seeded Maildirs from seed/<user>/<folder>/*.eml.
#   seed.sh DIR      re-seeds DIR/mail of a folder made by start.sh (the server may be running)
# start.sh sources this file and calls brevio_ts_seed.
#
# Layout: seed/<user>/INBOX/*.eml is the user's INBOX; seed/<user>/<A>/<B>/*.eml is the folder
# "A/B", stored Maildir++ style as .A.B with non-ASCII names in modified UTF-7 (RFC 3501 5.1.3).
# A folder holding only ".keep" is created empty. Messages are taken in file-name order; each
# becomes cur/<unique>:2, (not seen) with unique = "<T>.M<n>P1.brevio", T = 1704067200 + n,
# n = 1, 2, ... within the folder, and T also as the file's time, so the server numbers them
# in that order and every run yields the same names.

# Modified UTF-7 of one folder-name component: printable ASCII stands for itself ("&" as "&-"),
# every other run of characters becomes "&" + base64 of its UTF-16BE form, "/" as ",", + "-".
brevio_ts_mutf7() {
  local s=$1 out="" run="" c i
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    if [ "$(printf '%d' "'$c")" -ge 32 ] && [ "$(printf '%d' "'$c")" -le 126 ]; then
      if [ -n "$run" ]; then
        out+="&$(printf '%s' "$run" | iconv -f UTF-8 -t UTF-16BE | base64 -w0 | tr -d '=' | tr '/' ',')-"
        run=""
      fi
      if [ "$c" = "&" ]; then out+="&-"; else out+=$c; fi
    else
      run+=$c
    fi
  done
  if [ -n "$run" ]; then
    out+="&$(printf '%s' "$run" | iconv -f UTF-8 -t UTF-16BE | base64 -w0 | tr -d '=' | tr '/' ',')-"
  fi
  printf '%s' "$out"
}

# Maildir folder of a displayed folder path ("INBOX", "Archive/2024") below a user's root.
# Folder names are stored in modified UTF-7, or as UTF-8 when BREVIO_TS_UTF8_NAMES=1 (servers
# that keep Unicode folder names on disk as they are).
brevio_ts_maildir_of() {
  local root=$1 folder=$2 part name=""
  if [ "$folder" = "INBOX" ]; then
    printf '%s' "$root"
    return
  fi
  local IFS=/
  for part in $folder; do
    if [ "${BREVIO_TS_UTF8_NAMES:-0}" = 1 ]; then
      name+=".$part"
    else
      name+=".$(brevio_ts_mutf7 "$part")"
    fi
  done
  printf '%s/%s' "$root" "$name"
}

# brevio_ts_seed SEED_ROOT MAIL_ROOT USER...
# With BREVIO_TS_LF_FILES=1 the messages are stored with LF line ends, for servers that add the
# CR themselves (the size they report is then still the seed file's size). With
# BREVIO_TS_DISTINCT_NAMES=1 the file names differ across a user's folders too, as real Maildir
# names do ("P<k>" with k counting the folders), for servers that cache messages by file name.
brevio_ts_seed() {
  local seed=$1 mail=$2 user folder md n eml stamp name k
  shift 2
  for user in "$@"; do
    rm -rf "${mail:?}/$user"
    mkdir -p "$mail/$user/cur" "$mail/$user/new" "$mail/$user/tmp"
    [ -d "$seed/$user" ] || continue
    k=0
    while IFS= read -r folder; do
      folder=${folder#"$seed/$user/"}
      k=$((k + 1))
      md=$(brevio_ts_maildir_of "$mail/$user" "$folder")
      mkdir -p "$md/cur" "$md/new" "$md/tmp"
      [ "$md" = "$mail/$user" ] || : > "$md/maildirfolder"
      n=0
      while IFS= read -r eml; do
        n=$((n + 1))
        stamp=$((1704067200 + n))
        name="$stamp.M${n}P1.brevio:2,"
        [ "${BREVIO_TS_DISTINCT_NAMES:-0}" = 1 ] && name="$stamp.M${n}P$k.brevio:2,"
        if [ "${BREVIO_TS_LF_FILES:-0}" = 1 ]; then
          tr -d '\r' < "$eml" > "$md/cur/$name"
        else
          cp "$eml" "$md/cur/$name"
        fi
        touch -d "@$stamp" "$md/cur/$name"
      done < <(find "$seed/$user/$folder" -maxdepth 1 -type f -name '*.eml' | sort)
    done < <(find "$seed/$user" -mindepth 1 -type d \( -exec test -e '{}/.keep' \; -o \
                  -exec sh -c 'ls "$1"/*.eml >/dev/null 2>&1' _ '{}' \; \) -print | sort)
  done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  export LC_ALL=C.UTF-8
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  [ $# -eq 1 ] && [ -d "$1/mail" ] || { echo "usage: seed.sh DIR (a folder made by start.sh)" >&2; exit 1; }
  mapfile -t seed_users < <(cut -f1 "$here/users.tsv" | grep -v '^$')
  brevio_ts_seed "$here/seed" "$1/mail" "${seed_users[@]}"
  chown -R mail:mail "$1/mail"
fi
