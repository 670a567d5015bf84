#!/usr/bin/env bash
# Builds examples/Example.jar, the MIDlet suite that `scripts/run` prepares
# when no display is at hand: a manifest with the MIDlet's name and its
# MIDlet-1 line, one class compiled here, and a 16x16 PNG icon.
#
#   examples/make-example.sh [OUTPUT.jar]
#
# Needs javac, jar and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/Example.jar}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/src/example" "$work/classes/icons"
cat >"$work/src/example/TinySnake.java" <<'JAVA'
package example;

/** The smallest stand-in for a MIDlet: a class the suite can name. */
public class TinySnake {
    private int length = 3;

    public int grow() {
        return ++length;
    }
}
JAVA
javac -nowarn --release 8 -d "$work/classes" "$work/src/example/TinySnake.java"

# A 16x16 icon: a green snake on a light background.
python3 - "$work/classes/icons/snake.png" <<'PY'
import struct, sys, zlib
size = 16
rows = []
for y in range(size):
    row = b"\x00"
    for x in range(size):
        on = (y in (4, 11) and 3 <= x <= 12) or (x in (3, 12) and 4 <= y <= 11 and (x == 3) == (y < 8))
        row += bytes((40, 160, 60) if on else (235, 240, 225))
    rows.append(row)
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY

cat >"$work/manifest.mf" <<'MF'
MIDlet-Name: Tiny Snake (demo)
MIDlet-Vendor: Quellor examples
MIDlet-Version: 1.0.0
MIDlet-1: Tiny Snake, /icons/snake.png, example.TinySnake
MIDlet-Info-URL: http://snake.example.org/
MicroEdition-Profile: MIDP-2.0
MicroEdition-Configuration: CLDC-1.1
MF

rm -f "$out"
jar --create --file "$out" --manifest "$work/manifest.mf" -C "$work/classes" .
echo "make-example: wrote $out"
