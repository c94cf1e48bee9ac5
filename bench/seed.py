#!/usr/bin/env python3
"""Writes Maildirs of small generated messages for the benchmark, straight into the files.

    seed.py MAIL_ROOT USER:COUNT...

Each USER gets MAIL_ROOT/USER as its INBOX with COUNT messages (CRLF line ends, not seen). The
file names carry the size (S=, W=) so the server need not open a file to learn it.
"""
import os
import shutil
import sys

SUBJECTS = ["Your invoice %d", "Cheap watches, offer %d", "Re: meeting notes %d",
            "=?UTF-8?B?0J/RgNC40LLQtdGC?= %d", "Weekly digest no. %d"]


def message(n):
    lines = [
        "Return-Path: <sender%d@example.com>" % (n % 997),
        "Received: from mx.example.com by bench.example.org; Mon, 7 Dec 2026 10:00:00 +0000",
        "Message-ID: <%d.bench@example.com>" % n,
        "Date: Mon, 7 Dec 2026 %02d:%02d:%02d +0100" % (n // 3600 % 24, n // 60 % 60, n % 60),
        "From: Sender %d <sender%d@example.com>" % (n % 997, n % 997),
        "To: user@example.org",
        "Subject: " + SUBJECTS[n % len(SUBJECTS)] % n,
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=us-ascii",
        "",
        "Message number %d of the benchmark." % n,
        "A few lines of body text, so the message is a small but real one.",
        "",
    ]
    return "\r\n".join(lines).encode("ascii")


def main():
    root = sys.argv[1]
    for entry in sys.argv[2:]:
        user, count = entry.split(":")
        box = os.path.join(root, user)
        shutil.rmtree(box, ignore_errors=True)
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(box, sub))
        for n in range(1, int(count) + 1):
            data = message(n)
            stamp = 1704067200 + n
            name = "%d.M%dP1.bench,S=%d,W=%d:2," % (stamp, n, len(data), len(data))
            with open(os.path.join(box, "cur", name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
