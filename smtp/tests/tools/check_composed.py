#!/usr/bin/env python3
"""Checks composed messages with an independent MIME parser (Python's email package).

Usage: check_composed.py DIRECTORY
Every *.eml file in DIRECTORY is a composed message in transfer form (CR LF lines,
dot-stuffed, a final "." line). Each must: use CR LF only, keep every line within 998
characters, end with the "." line; and, with the transfer form undone, parse with no
defect in any part, with its header fields readable, its structure as its Content-Type
says, and every part's payload decodable. Prints one line per message; exit 1 on any
failure.
"""

import email
import email.policy
import os
import sys


def undo_transfer_form(data):
    if not data.endswith(b"\r\n.\r\n"):
        raise ValueError("does not end with the '.' line")
    lines = data[:-len(b".\r\n")].split(b"\r\n")
    for number, line in enumerate(lines, 1):
        if b"\r" in line or b"\n" in line:
            raise ValueError("bare CR or LF in line %d" % number)
        if len(line) > 998:
            raise ValueError("line %d has %d characters" % (number, len(line)))
        if line == b".":
            raise ValueError("an unstuffed '.' line %d" % number)
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


def check_part(part, where):
    if part.defects:
        raise ValueError("%s: defects %r" % (where, part.defects))
    for name, value in part.items():
        str(value)  # decodes encoded words; raises on a malformed field
        if getattr(value, "defects", None):
            raise ValueError("%s: header %s defects %r" % (where, name, value.defects))
    content_type = part.get_content_type()
    if content_type.startswith("multipart/"):
        if not part.is_multipart():
            raise ValueError("%s: %s without parts" % (where, content_type))
        for index, sub in enumerate(part.iter_parts(), 1):
            check_part(sub, "%s.%d" % (where, index))
    elif content_type == "message/rfc822":
        inner = part.get_payload()
        if not inner or not isinstance(inner[0], email.message.Message):
            raise ValueError("%s: message/rfc822 without a message" % where)
    elif content_type == "message/delivery-status":
        blocks = part.get_payload()
        if not blocks:
            raise ValueError("%s: empty delivery-status" % where)
        # RFC 3464: a per-message block, then at least one per-recipient block.
        if blocks[0]["Reporting-MTA"] is None:
            raise ValueError("%s: no Reporting-MTA" % where)
        if len(blocks) < 2:
            raise ValueError("%s: no recipient block" % where)
        for block in blocks[1:]:
            for field in ("Final-Recipient", "Action", "Status"):
                if block[field] is None:
                    raise ValueError("%s: a recipient block without %s" % (where, field))
    else:
        part.get_payload(decode=True)
        if part.get_content_maintype() == "text":
            part.get_content()


def check_file(path):
    with open(path, "rb") as handle:
        data = handle.read()
    message = email.message_from_bytes(undo_transfer_form(data), policy=email.policy.default)
    for field in ("From", "To", "Subject", "Date", "Message-ID", "Received"):
        if field in ("From", "To") and field not in message:
            continue
        if message[field] is None:
            raise ValueError("no %s field" % field)
    if message["Date"].datetime is None:
        raise ValueError("unreadable Date")
    check_part(message, "message")
    return message


def main():
    directory = sys.argv[1]
    names = sorted(name for name in os.listdir(directory) if name.endswith(".eml"))
    if not names:
        print("no messages in %s" % directory)
        return 1
    failed = 0
    for name in names:
        try:
            message = check_file(os.path.join(directory, name))
            print("ok   %s: %s, subject %d characters" %
                  (name, message.get_content_type(), len(str(message["Subject"]))))
        except Exception as error:  # every failure is reported, none stops the others
            failed += 1
            print("FAIL %s: %s" % (name, error))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
