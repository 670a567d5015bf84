#!/usr/bin/env python3
"""Writes the archives of the quellor-zip tests into this folder. Run it
again only to change them; the archives are kept in the repository."""
import io
import os
import struct
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "archive"))
import zipinfo  # noqa: E402


def archive_bytes(kind):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as zf:
        if kind == "comment":
            zf.comment = b"Quellor test archive"
        zipinfo.write_entries(zf)
    return buf.getvalue()


def patch_end(data, field, value):
    end = data.rfind(b"PK\x05\x06")
    return data[:end + field] + value + data[end + field + len(value):]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    plain = archive_bytes("plain")
    files = {
        "empty.zip": struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0),
        "midlet.jar": plain,
        "comment.zip": archive_bytes("comment"),
        "prefixed.zip": b"#!stub\n" * 20 + plain,
        "trailing.zip": plain + b"trailing bytes",
        "forged-count.zip": patch_end(plain, 8, struct.pack("<HH", 60000, 60000)),
        "zip64.zip": zipinfo.zip64_end_records(plain),
        "not-a-zip.zip": b"Manifest-Version: 1.0\r\nPK\x05\x06 is not enough\r\n",
        "pk-no-entry.zip": b"Manifest-Version: 1.0\r\nPK\x03\x04" + b"\xff" * 40,
    }
    end = plain.rfind(b"PK\x05\x06")
    locator = struct.pack("<IIQI", 0x07064B50, 0, 16, 1)
    files["zip64-no-record.zip"] = plain[:end] + locator + plain[end:]
    buf = io.BytesIO()
    with zipfile.ZipFile(zipinfo.Unseekable(buf), "w") as zf:
        zipinfo.write_entries(zf)
    files["descriptors.zip"] = buf.getvalue()
    for name, data in files.items():
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)
    # A stored entry whose CRC-32 no longer fits, and names that lead out of
    # the destination folder.
    for kind, name in [("method-badcrc", "badcrc.zip"), ("slip", "slip.zip")]:
        zipinfo.make(kind, os.path.join(here, name))


if __name__ == "__main__":
    main()
