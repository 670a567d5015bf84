#!/usr/bin/env bash
# Benchmark of the preparation (not a test): quellor-batch over 200 small
# MIDlets and over one 50 MB JAR with 20,000 entries, beside the same
# manifest rewrite done with peer tools (unzip -p, then zip the manifest back
# into a copy). Reports wall time and peak memory (/usr/bin/time -v).
#
#   bench/prepare.sh [BUILD_DIR]      (default: build/; the tool is built there)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
# shellcheck source=bench/tool_build.bash
source "$root/bench/tool_build.bash"
tool=$(ensure_tool "$build" quellor-batch)
for needed in /usr/bin/time zip unzip python3; do
  command -v "$needed" >/dev/null || { echo "prepare.sh: $needed is missing (scripts/setup)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/small" "$work/large"

# 200 small suites: a manifest, an icon and a few classes each; and one large
# suite whose manifest comes first, so the whole archive lies behind the
# changed entry.
python3 - "$work" <<'PY'
import os, random, sys, zipfile
work = sys.argv[1]
rnd = random.Random(7)
def manifest(name):
    return ("Manifest-Version: 1.0\r\nMIDlet-Name: %s\r\nMIDlet-Vendor: Bench\r\n"
            "MIDlet-Version: 1.0\r\nMIDlet-1: %s, /icon.png, b.Main\r\n"
            "MicroEdition-Profile: MIDP-2.0\r\n\r\n" % (name, name)).encode()
for i in range(200):
    name = "Bench Suite %03d" % i
    with zipfile.ZipFile(os.path.join(work, "small", "s%03d.jar" % i), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("META-INF/MANIFEST.MF", manifest("S%03d" % i))
        z.writestr("icon.png", rnd.randbytes(600))
        for c in range(8):
            z.writestr("b/C%d.class" % c, b"\xca\xfe\xba\xbe" + bytes(rnd.choices(b"abcdefgh", k=3000)))
with zipfile.ZipFile(os.path.join(work, "large", "large.jar"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("META-INF/MANIFEST.MF", manifest("Large Suite"))
    z.writestr("icon.png", rnd.randbytes(600))
    for e in range(19998):
        z.writestr("data/d%05d.bin" % e, rnd.randbytes(2600))
# The same suite under a spaced-out name: its cleaned manifest is shorter,
# so everything behind the manifest lands somewhere else in the new JAR.
src = zipfile.ZipFile(os.path.join(work, "large", "large.jar"))
os.makedirs(os.path.join(work, "moved"))
with zipfile.ZipFile(os.path.join(work, "moved", "moved.jar"), "w", zipfile.ZIP_DEFLATED) as z:
    for info in src.infolist():
        data = src.read(info)
        if info.filename == "META-INF/MANIFEST.MF":
            data = data.replace(b"Large Suite", b"M o v e d  S u i t e  W i t h  A  L o n g  N a m e")
        z.writestr(info, data)
PY
large_size=$(stat -c %s "$work/large/large.jar")
large_entries=$(python3 -c 'import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))' "$work/large/large.jar")

# Runs a command under /usr/bin/time -v; prints "seconds peak-KiB".
measure() {
  local report=$work/time.txt
  /usr/bin/time -v -o "$report" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "prepare.sh: failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$report")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$report")
  echo "$(awk -v t="$wall" 'BEGIN { n = split(t, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }') $rss"
}

# The peer rewrite of one JAR: a copy, its manifest out with unzip -p, a
# rewritten name line, and zip putting it back.
cat >"$work/peer.sh" <<'SH'
#!/usr/bin/env bash
set -euo pipefail
out=$1; shift
for jar in "$@"; do
  name=$(basename "$jar" .jar)
  mkdir -p "$out/$name/META-INF"
  cp "$jar" "$out/$name/$name.jar"
  unzip -p "$jar" META-INF/MANIFEST.MF | sed 's/^MIDlet-Name: \(.*\)$/MIDlet-Name: \1x/' \
    >"$out/$name/META-INF/MANIFEST.MF"
  (cd "$out/$name" && zip -q "$name.jar" META-INF/MANIFEST.MF)
  cp "$out/$name/META-INF/MANIFEST.MF" "$out/$name/$name.jad"
done
SH
chmod +x "$work/peer.sh"

run_case() {
  local label=$1 count=$2; shift 2
  rm -rf "$work/q" "$work/p"
  mkdir -p "$work/q" "$work/p"
  read -r qt qm < <(measure "$tool" --program-folder "$work/q" --no-ids --no-icon "$@")
  local made
  made=$(find "$work/q/projects" -name '*.jad' | wc -l)
  [[ $made -eq $count ]] || { echo "prepare.sh: quellor-batch made $made of $count JADs" >&2; exit 1; }
  read -r pt pm < <(measure "$work/peer.sh" "$work/p" "$@")
  printf '%-34s %10s s %8s KiB   %10s s %8s KiB\n' "$label" "$qt" "$qm" "$pt" "$pm"
}

echo "prepare.sh: $(nproc) cores; large JAR: $large_size bytes, $large_entries entries"
printf '%-34s %23s   %23s\n' "" "quellor-batch" "unzip -p + zip"
run_case "200 small MIDlets" 200 "$work"/small/*.jar
run_case "one 50 MB JAR, 20,000 entries" 1 "$work/large/large.jar"
run_case "the same, manifest shorter" 1 "$work/moved/moved.jar"
