#!/usr/bin/env python3
"""Writes the benchmark's JARs into a folder, unless they are there already.

  make_jars.py FOLDER

small.jar (about 1 MB, 200 entries), five.jar (about 12 MB, 5,000
entries), medium.jar (about 50 MB, 20,000 entries) and large.jar (about
200 MB, 100,000 entries). Each begins with
META-INF/ and META-INF/MANIFEST.MF, as a JAR does, so an update of the
manifest has the whole archive behind it. The other entries alternate
between compressible text and incompressible bytes, all deflated. The
contents come from a fixed seed, so every run sees the same archives.
"""
import os
import random
import sys
import zipfile

# name: (entries, approximate archive size in bytes)
SIZES = {
    "small": (200, 1 << 20),
    "medium": (20000, 50 << 20),
    "large": (100000, 200 << 20),
    "five": (5000, 25 << 19),
}
VERSION = "1"  # bump when the contents change, so cached JARs are remade

WORDS = (b"midlet suite manifest class resource image sound level score player "
         b"canvas command display form alert ticker record store vendor version").split()


def manifest(name):
    return ("Manifest-Version: 1.0\r\nMIDlet-Name: %s\r\nMIDlet-Vendor: Bench\r\n"
            "MIDlet-Version: 1.0\r\nMIDlet-1: %s, /icon.png, bench.Main\r\n"
            "MicroEdition-Configuration: CLDC-1.1\r\nMicroEdition-Profile: MIDP-2.0\r\n\r\n"
            % (name, name)).encode()


def text(rnd, size):
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rnd.choices(WORDS, k=12)) + b"\n"
    return bytes(out[:size])


def make(path, entries, target, seed):
    rnd = random.Random(seed)
    # Text deflates to about a third, random bytes not at all: half of each
    # comes to two thirds of the raw size, plus the headers.
    payload = max(16, int(target / entries * 1.5) - 120)
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("META-INF/"), b"")
        z.writestr("META-INF/MANIFEST.MF", manifest("Bench %d" % entries))
        for i in range(entries - 2):
            if i % 2 == 0:
                z.writestr("res/t%06d.txt" % i, text(rnd, payload))
            else:
                z.writestr("bench/C%06d.class" % i, rnd.randbytes(payload))
    os.replace(temporary, path)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    stamp = os.path.join(folder, "version")
    fresh = not os.path.exists(stamp) or open(stamp).read() != VERSION
    for seed, (name, (entries, target)) in enumerate(SIZES.items()):
        path = os.path.join(folder, name + ".jar")
        if fresh or not os.path.exists(path):
            make(path, entries, target, seed)
    with open(stamp, "w") as f:
        f.write(VERSION)


if __name__ == "__main__":
    main(sys.argv[1])
