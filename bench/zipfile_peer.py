#!/usr/bin/env python3
"""The benchmark's python peer: the three archive operations through zipfile.

  zipfile_peer.py list ARCHIVE
  zipfile_peer.py extract ARCHIVE NAME DIR
  zipfile_peer.py extract-all ARCHIVE DIR
  zipfile_peer.py update ARCHIVE NAME FILE

zipfile cannot replace an entry in place, so `update` does what a python
program would have to: write a new archive beside the old one with every
entry copied over and NAME taken from FILE, then move it over the old one.
"""
import os
import sys
import zipfile


def list_entries(path):
    with zipfile.ZipFile(path) as archive:
        out = sys.stdout
        for info in archive.infolist():
            out.write("%s\t%d\t%d\t%08x\n" % (info.filename, info.compress_size,
                                               info.file_size, info.CRC))


def extract(path, name, folder):
    with zipfile.ZipFile(path) as archive:
        archive.extract(name, folder)


def extract_all(path, folder):
    with zipfile.ZipFile(path) as archive:
        archive.extractall(folder)


def update(path, name, source):
    with open(source, "rb") as f:
        replacement = f.read()
    temporary = path + ".new"
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(temporary, "w") as new:
        new.comment = old.comment
        for info in old.infolist():
            data = replacement if info.filename == name else old.read(info)
            new.writestr(info, data, compress_type=info.compress_type)
    os.replace(temporary, path)


def main(argv):
    if len(argv) == 3 and argv[1] == "list":
        list_entries(argv[2])
    elif len(argv) == 5 and argv[1] == "extract":
        extract(argv[2], argv[3], argv[4])
    elif len(argv) == 4 and argv[1] == "extract-all":
        extract_all(argv[2], argv[3])
    elif len(argv) == 5 and argv[1] == "update":
        update(argv[2], argv[3], argv[4])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
