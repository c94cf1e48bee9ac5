#!/usr/bin/env python3
"""Writes tests/live/seed_manifest.tsv from scripts/test-server/seed/.

Run it after changing a seed message. It decodes the headers with Python's own mail library,
which serves as an independent reference for the live tests: the expected subject and sender
are what a correct RFC 2047 / RFC 5322 reader shows, not what Brevio happens to produce.

Columns (tab-separated, first line is the header):
  user, folder (as displayed, UTF-8), seq (message number = UID after seeding),
  unique (Maildir file name before ":2,"), size (bytes = RFC822.SIZE = POP3 LIST),
  date_utc (ISO 8601, empty when the Date header cannot be parsed),
  from_name, from_address (both empty when From is not one parsable address),
  subject (decoded, UTF-8).
"""
import email.header, email.utils, os, re, sys

HERE = os.path.dirname(os.path.abspath(__file__))
SEED = os.path.join(HERE, 'seed')
OUT = os.path.join(HERE, '..', '..', 'tests', 'live', 'seed_manifest.tsv')
FIRST_STAMP = 1704067200  # must match seed.sh


def header_lines(raw):
    head = raw.split(b'\r\n\r\n', 1)[0]
    fields, current = [], None
    for line in head.split(b'\r\n'):
        if line[:1] in (b' ', b'\t') and fields:
            fields[-1] = (fields[-1][0], fields[-1][1] + b' ' + line.strip())
        else:
            name, _, value = line.partition(b':')
            fields.append((name.strip().lower().decode('ascii'), value.strip()))
    return dict(reversed(fields))  # first occurrence wins


def decode(value, raw_charset):
    # 8-bit header bytes are read in the charset of the Content-Type, ASCII otherwise.
    text = value.decode(raw_charset or 'ascii')
    return str(email.header.make_header(email.header.decode_header(text)))


def row(user, folder, seq, path):
    raw = open(path, 'rb').read()
    if b'\r\n' not in raw or re.search(rb'(?<!\r)\n', raw):
        sys.exit(f'{path}: lines must end in CRLF')
    h = header_lines(raw)
    m = re.search(rb'charset="?([A-Za-z0-9_-]+)', h.get('content-type', b''))
    charset = m.group(1).decode().lower() if m else None
    subject = decode(h.get('subject', b''), charset)
    from_text = decode(h.get('from', b''), charset)
    addresses = email.utils.getaddresses([from_text])
    name, address = addresses[0] if len(addresses) == 1 else ('', '')
    if not re.fullmatch(r'[^@\s<>]+@[^@\s<>]+', address):
        name, address = '', ''
    date = ''
    parsed = email.utils.parsedate_to_datetime(h['date'].decode()) if b':' in h.get('date', b'') else None
    if parsed is not None:
        date = parsed.astimezone(email.utils.datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ')
    unique = f'{FIRST_STAMP + seq}.M{seq}P1.brevio'
    fields = [user, folder, str(seq), unique, str(len(raw)), date, name, address, subject]
    for f in fields:
        if '\t' in f or '\n' in f:
            sys.exit(f'{path}: a value holds a TAB or line break')
    return '\t'.join(fields)


def main():
    rows = ['\t'.join(['user', 'folder', 'seq', 'unique', 'size', 'date_utc',
                       'from_name', 'from_address', 'subject'])]
    for user in sorted(os.listdir(SEED)):
        user_root = os.path.join(SEED, user)
        for folder_dir, _, files in sorted(os.walk(user_root)):
            emls = sorted(f for f in files if f.endswith('.eml'))
            folder = os.path.relpath(folder_dir, user_root)
            for seq, name in enumerate(emls, 1):
                rows.append(row(user, folder, seq, os.path.join(folder_dir, name)))
    with open(OUT, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(rows) + '\n')


main()
