#!/usr/bin/env python3
"""Reference listings and test archives made with python's zipfile.

  zipinfo.py list ARCHIVE      one line per entry, tab-separated: name bytes,
                               method, compressed size, uncompressed size,
                               CRC-32 and external attributes as 8 hex digits,
                               local header offset; exit 1 when unreadable
  zipinfo.py make KIND ARCHIVE writes one of the archives below
  zipinfo.py contents ARCHIVE  one line per entry, tab-separated: its name
                               (UTF-8) in hex, the size and CRC-32 of its
                               bytes as read, or "!" when they cannot be
                               read; exit 1 when unreadable
  zipinfo.py verify ARCHIVE    testzip, then one line per entry: name bytes
                               and general purpose flags in hex, then the
                               archive comment in hex; exit 1 when a check
                               fails
"""
import io
import struct
import sys
import zipfile
import zlib

ENTRIES = [
    ("META-INF/", b""),
    ("META-INF/MANIFEST.MF", b"Manifest-Version: 1.0\r\nMIDlet-Name: Race\r\n\r\n"),
    ("img/icon.png", bytes(range(256)) * 3),
    ("Game.class", b"\xca\xfe\xba\xbe" + b"x" * 500),
]


class Unseekable(io.RawIOBase):
    """A stream without tell/seek, so zipfile writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)

    def flush(self):
        self.f.flush()


def raw_name(info):
    if info.flag_bits & 0x800:
        return info.orig_filename.encode("utf-8")
    return info.orig_filename.encode("cp437")


def list_archive(path):
    try:
        with zipfile.ZipFile(path) as zf:
            out = sys.stdout.buffer
            for info in zf.infolist():
                fields = [
                    raw_name(info),
                    str(info.compress_type).encode(),
                    str(info.compress_size).encode(),
                    str(info.file_size).encode(),
                    b"%08x" % info.CRC,
                    b"%08x" % info.external_attr,
                    str(info.header_offset).encode(),
                ]
                out.write(b"\t".join(fields) + b"\n")
    except Exception as e:  # every failure is a verdict here
        print("error: %s: %s" % (type(e).__name__, e), file=sys.stderr)
        return 1
    return 0


def contents(path):
    try:
        with zipfile.ZipFile(path) as zf:
            out = sys.stdout.buffer
            for info in zf.infolist():
                try:
                    size, crc = 0, 0
                    with zf.open(info) as f:
                        while chunk := f.read(1 << 20):
                            size += len(chunk)
                            crc = zlib.crc32(chunk, crc)
                    data = b"%d\t%08x" % (size, crc)
                except Exception:
                    data = b"!"
                out.write(info.filename.encode("utf-8").hex().encode() + b"\t" + data + b"\n")
    except Exception as e:
        print("error: %s: %s" % (type(e).__name__, e), file=sys.stderr)
        return 1
    return 0


def write_entries(zf, force_zip64=False):
    for name, data in ENTRIES:
        info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 12, 30, 10))
        info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
        info.external_attr = 0x10 if name.endswith("/") else 0x20
        with zf.open(info, "w", force_zip64=force_zip64) as f:
            f.write(data)


def zip64_end_records(data):
    """Rewrites a plain archive's end record as Zip64 end record, locator and
    an end record whose fields all point to them."""
    end = data.rfind(b"PK\x05\x06")
    (_, _, _, _, count, size, offset, clen) = struct.unpack("<IHHHHIIH", data[end:end + 22])
    body = data[:end]
    z64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, size, offset)
    loc = struct.pack("<IIQI", 0x07064B50, 0, len(body), 1)
    eocd = struct.pack("<IHHHHIIH", 0x06054B50, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                       0xFFFFFFFF, 0xFFFFFFFF, 0)
    return body + z64 + loc + eocd


def make(kind, path):
    if kind == "plain":
        with zipfile.ZipFile(path, "w") as zf:
            write_entries(zf)
    elif kind == "comment":
        with zipfile.ZipFile(path, "w") as zf:
            write_entries(zf)
            zf.comment = b"built for the tests \x01\x02"
    elif kind == "descriptors":
        with open(path, "wb") as f:
            with zipfile.ZipFile(Unseekable(f), "w") as zf:
                write_entries(zf)
    elif kind == "force64":
        with zipfile.ZipFile(path, "w") as zf:
            write_entries(zf, force_zip64=True)
    elif kind == "zip64eocd":
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w") as zf:
            write_entries(zf)
        with open(path, "wb") as f:
            f.write(zip64_end_records(buf.getvalue()))
    elif kind == "cyrillic":
        # Names in code page 866 without the UTF-8 flag, as an OEM tool
        # writes them: written with ASCII stand-ins, then patched.
        names = ["\u041f\u0440\u0438\u0432\u0435\u0442/", "\u041f\u0440\u0438\u0432\u0435\u0442/\u043c\u0438\u0440.txt"]
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w") as zf:
            for i, name in enumerate(names):
                stand_in = "".join(c if ord(c) < 128 else "ABC"[i] for c in name)
                zf.writestr(zipfile.ZipInfo(stand_in), b"" if name.endswith("/") else b"hello")
        data = buf.getvalue()
        for i, name in enumerate(names):
            stand_in = "".join(c if ord(c) < 128 else "ABC"[i] for c in name)
            data = data.replace(stand_in.encode("ascii"), name.encode("cp866"))
        with open(path, "wb") as f:
            f.write(data)
    elif kind == "entrycomments":
        # Entry comments, extra blocks and a name flagged as UTF-8.
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
            for i, name in enumerate(["a.txt", "\u0436\u0443\u043a.txt", "dir/", "b.bin"]):
                info = zipfile.ZipInfo(name)
                info.comment = ("comment %d" % i).encode() * i
                info.extra = struct.pack("<HH", 0x6666, i) + bytes(range(i))
                zf.writestr(info, b"" if name.endswith("/") else name.encode() * 20)
    elif kind == "bigextra":
        with zipfile.ZipFile(path, "w") as zf:
            info = zipfile.ZipInfo("big-extra.txt")
            info.extra = struct.pack("<HH", 0x7777, 296) + bytes(296)
            zf.writestr(info, b"data")
            zf.writestr(zipfile.ZipInfo("after.txt"), b"more data")
    elif kind == "icons":
        # Two icons that one mask finds, a folder entry, attribute words.
        with zipfile.ZipFile(path, "w") as zf:
            for name, data, attr in [("META-INF/", b"", 0x10),
                                     ("META-INF/MANIFEST.MF", ENTRIES[1][1], 0x20),
                                     ("icon.png", bytes(range(256)), 0x21),
                                     ("res/", b"", 0x10),
                                     ("res/icon.png", b"second icon", 0x00)]:
                info = zipfile.ZipInfo(name, date_time=(2019, 3, 4, 5, 6, 8))
                info.external_attr = attr
                info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
                zf.writestr(info, data)
    elif kind.startswith("method"):
        # b.txt's method patched in both headers (methodNN), or its stored
        # data altered so that its CRC-32 no longer fits (method-badcrc).
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w") as zf:
            for name in ["a.txt", "b.txt", "c.txt"]:
                zf.writestr(zipfile.ZipInfo(name), name.encode() * 50)
        data = bytearray(buf.getvalue())
        local = data.find(b"PK\x03\x04b.txt"[:4], data.find(b"b.txt") - 40)
        central = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 1)
        if kind == "method-badcrc":
            data[local + 30 + 5 + 10] ^= 0x20
        else:
            method = int(kind[6:])
            struct.pack_into("<H", data, local + 8, method)
            struct.pack_into("<H", data, central + 10, method)
        with open(path, "wb") as f:
            f.write(bytes(data))
    elif kind == "slip":
        # Names that would lead out of the destination folder, among
        # harmless ones.
        with zipfile.ZipFile(path, "w") as zf:
            for name in ["good.txt", "../up.txt", "/abs.txt", "C:/drive.txt",
                         "\\\\server\\share\\unc.txt", "ok/../../up2.txt",
                         "a/..\\..\\up3.txt", "..", "sub/", "sub/fine.txt"]:
                info = zipfile.ZipInfo("x")
                info.filename = name
                info.orig_filename = name
                zf.writestr(info, b"" if name.endswith("/") else b"payload " + name.encode())
    elif kind == "midlet":
        # Entries before and after the manifest, every entry with a data
        # descriptor, and an archive comment.
        with open(path, "wb") as f:
            with zipfile.ZipFile(Unseekable(f), "w") as zf:
                for name, data in [("Before.class", b"before" * 40)] + ENTRIES + [
                        ("After.class", b"after" * 40)]:
                    info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 12, 30, 10))
                    info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
                    info.external_attr = 0x10 if name.endswith("/") else 0x20
                    with zf.open(info, "w") as out:
                        out.write(data)
                zf.comment = b"the archive comment"
    elif kind == "reversed":
        # The directory lists the entries in the reverse order of their
        # records in the file.
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
            zf.writestr("first.txt", "first" * 30)
            zf.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n")
            zf.writestr("last.txt", "last" * 30)
            zf.filelist.reverse()
    elif kind.startswith("many"):
        count = int(kind[4:])
        with zipfile.ZipFile(path, "w") as zf:
            for i in range(count):
                zf.writestr(zipfile.ZipInfo("d%d/f%06d.txt" % (i % 7, i)), b"")
    else:
        print("unknown kind " + kind, file=sys.stderr)
        return 2
    return 0


def verify(path):
    try:
        with zipfile.ZipFile(path) as zf:
            bad = zf.testzip()
            if bad is not None:
                print("error: bad entry %s" % bad, file=sys.stderr)
                return 1
            out = sys.stdout.buffer
            for info in zf.infolist():
                out.write(raw_name(info) + b"\t%04x\n" % info.flag_bits)
            out.write(b"comment\t" + zf.comment.hex().encode() + b"\n")
    except Exception as e:
        print("error: %s: %s" % (type(e).__name__, e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "verify":
        sys.exit(verify(sys.argv[2]))
    if len(sys.argv) == 3 and sys.argv[1] == "contents":
        sys.exit(contents(sys.argv[2]))
    if len(sys.argv) == 3 and sys.argv[1] == "list":
        sys.exit(list_archive(sys.argv[2]))
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        sys.exit(make(sys.argv[2], sys.argv[3]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
