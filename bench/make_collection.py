#!/usr/bin/env python3
"""Writes a collection of JARs made from real MIDlets into a folder.

  make_collection.py FOLDER COUNT MIDLET.jar...

FOLDER/00000.jar ... take the MIDlets in turn; each copy's MIDlet-Name
begins with its five-digit number ("00042 Games"), so that the first
9 bytes of every cleaned name, and with them every project, differ. Only
the manifest is written anew (with the method it had); every other entry
keeps the bytes of the MIDlet, local header, data and descriptor alike, so
the copies have the MIDlets' sizes and compression.

FOLDER/sources.txt names the MIDlets the copies were made from; when it
names the same ones and the copies are there, nothing is written again.
"""
import os
import re
import struct
import sys
import zlib
import zipfile

VERSION = "1"  # bump when the copies change, so cached ones are remade
MANIFEST = "META-INF/MANIFEST.MF"
LOCAL = struct.Struct("<IHHHHHIIIHH")  # local header, without name and extra
CENTRAL = struct.Struct("<IHHHHHHIIIHHHHHII")  # central header, ditto
END = struct.Struct("<IHHHHIIH")  # end of central directory, without comment
DESCRIPTOR_FLAG = 0x08


class Template:
    """A MIDlet cut into the raw pieces a copy is assembled from."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        with zipfile.ZipFile(path) as z:
            infos = sorted(z.infolist(), key=lambda i: i.header_offset)
            self.manifest = z.read(MANIFEST)
        end = data.rfind(b"PK\x05\x06")
        fields = END.unpack_from(data, end)
        directory_size, directory_offset = fields[5], fields[6]
        self.entries = []  # (name, local record bytes, central record bytes)
        cursor = directory_offset
        centrals = {}
        while cursor < directory_offset + directory_size:
            header = CENTRAL.unpack_from(data, cursor)
            length = CENTRAL.size + header[10] + header[11] + header[12]
            name = data[cursor + CENTRAL.size:cursor + CENTRAL.size + header[10]]
            centrals[header[16]] = (name.decode("utf-8", "replace"), data[cursor:cursor + length])
            cursor += length
        for index, info in enumerate(infos):
            start = info.header_offset
            stop = infos[index + 1].header_offset if index + 1 < len(infos) else directory_offset
            name, central = centrals[start]
            self.entries.append((name, data[start:stop], central))

    def copy(self, number):
        """The bytes of copy `number`."""
        out = bytearray()
        directory = bytearray()
        for name, local, central in self.entries:
            offset = len(out)
            if name == MANIFEST:
                local, central = self.renamed_manifest(local, central, number)
            out += local
            directory += central[:42] + struct.pack("<I", offset) + central[46:]
        count = len(self.entries)
        out_offset = len(out)
        out += directory
        out += END.pack(0x06054B50, 0, 0, count, count, len(directory), out_offset, 0)
        return bytes(out)

    def renamed_manifest(self, local, central, number):
        text = re.sub(rb"^(MIDlet-Name:[ \t]*)", rb"\g<1>%05d " % number, self.manifest,
                      count=1, flags=re.MULTILINE)
        fields = list(LOCAL.unpack_from(local))
        method = fields[3]
        if method == zipfile.ZIP_DEFLATED:
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            packed = packer.compress(text) + packer.flush()
        else:
            packed = text
        crc = zlib.crc32(text)
        name_and_extra = local[LOCAL.size:LOCAL.size + fields[9] + fields[10]]
        fields[2] &= ~DESCRIPTOR_FLAG  # sizes stand in the header now
        fields[6:9] = [crc, len(packed), len(text)]
        new_local = LOCAL.pack(*fields) + name_and_extra + packed
        c = list(CENTRAL.unpack_from(central))
        c[3] &= ~DESCRIPTOR_FLAG
        c[7:10] = [crc, len(packed), len(text)]
        new_central = CENTRAL.pack(*c) + central[CENTRAL.size:]
        return new_local, new_central


def main():
    folder, count, midlets = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    os.makedirs(folder, exist_ok=True)
    stamp = os.path.join(folder, "sources.txt")
    wanted = "\n".join(["version " + VERSION] + midlets) + "\n"
    have = open(stamp).read() if os.path.exists(stamp) else ""
    if have != wanted:
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
    templates = [Template(path) for path in midlets]
    for number in range(count):
        path = os.path.join(folder, "%05d.jar" % number)
        if os.path.exists(path):
            continue
        with open(path + ".part", "wb") as f:
            f.write(templates[number % len(templates)].copy(number))
        os.replace(path + ".part", path)
    with open(stamp, "w") as f:
        f.write(wanted)


if __name__ == "__main__":
    main()
