#!/usr/bin/env bash
# Benchmark of the archive engine (not a test): quellor-zip list, extract and
# update beside the same three operations done by Info-ZIP zip/unzip, 7z,
# libzip (bench/libzip_peer.c) and python's zipfile (bench/zipfile_peer.py),
# on generated JARs of 1 MB / 200 entries, 50 MB / 20,000 entries and
# 200 MB / 100,000 entries whose manifest comes second, right after META-INF/.
#
#   list     quellor-zip list; unzip -l; 7z l; libzip_peer list; zipfile list
#   extract  the manifest into a folder: quellor-zip extract, unzip -o ... -d,
#            7z x, libzip_peer extract, zipfile extract
#   update   a new manifest into a fresh copy of the JAR (copied before every
#            run, outside the timing): quellor-zip update, zip, 7z u,
#            libzip_peer update, and zipfile, which has to write the archive
#            anew
#
# All runs are timed by hyperfine (median of several runs, no shell between);
# the table gives the medians, the ratio ours/peer for each peer (below 1:
# we are faster) and our peak memory from /usr/bin/time -v.
#
#   bench/archive.sh [BUILD_DIR]     (default: build/; quellor-zip is built
#                                     there, the JARs are cached in
#                                     BUILD_DIR/bench-cache)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
tool=$build/tools/quellor-zip
if [[ ! -x $tool ]]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j2 --target quellor-zip >/dev/null
fi
for needed in hyperfine /usr/bin/time zip unzip 7z python3 cc pkg-config; do
  command -v "$needed" >/dev/null || { echo "archive.sh: $needed is missing (scripts/setup)"; exit 1; }
done
pkg-config --exists libzip || { echo "archive.sh: libzip is missing (scripts/setup)"; exit 1; }

cache=$build/bench-cache
mkdir -p "$cache"
peer=$cache/libzip_peer
if [[ ! -x $peer || $root/bench/libzip_peer.c -nt $peer ]]; then
  # shellcheck disable=SC2046
  cc -O2 -Wall -Wextra -o "$peer" "$root/bench/libzip_peer.c" $(pkg-config --cflags --libs libzip)
fi
python3 "$root/bench/make_jars.py" "$cache"
pypeer=$root/bench/zipfile_peer.py

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
manifest=META-INF/MANIFEST.MF
# The new manifest, where every updating tool finds it by the entry's name.
mkdir -p "$work/src/META-INF" "$work/out"
printf 'Manifest-Version: 1.0\r\nMIDlet-Name: Bench\r\nMIDlet-Vendor: Bench\r\nMIDlet-Version: 1.1\r\nMIDlet-1: Bench, /icon.png, bench.Main\r\n\r\n' \
  >"$work/src/$manifest"

runs_for() {
  case $1 in
    small) echo 20 ;;
    medium) echo 7 ;;
    *) echo 3 ;;
  esac
}

# time_op SIZE OP COMMAND...: one hyperfine run over the five tools, in
# the folder holding the new manifest; JSON to $work/SIZE-OP.json.
time_op() {
  local size=$1 op=$2
  shift 2
  local -a prepare=()
  if [[ $op == update ]]; then
    prepare=(--prepare "cp $cache/$size.jar $work/copy.jar")
  fi
  # hyperfine's warnings about noise go to a file, shown only on failure.
  (cd "$work/src" && hyperfine -N --style none --warmup 1 --runs "$(runs_for "$size")" \
    "${prepare[@]}" --export-json "$work/$size-$op.json" "$@" >/dev/null 2>"$work/hyperfine.txt") || {
    cat "$work/hyperfine.txt" >&2
    echo "archive.sh: $size $op failed" >&2
    exit 1
  }
}

# peak_kib COMMAND...: our peak resident memory in KiB.
peak_kib() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null
  awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt"
}

: >"$work/peaks.txt"
for size in small medium large; do
  jar=$cache/$size.jar
  copy=$work/copy.jar
  time_op "$size" list \
    "$tool list $jar" "unzip -l $jar" "7z l $jar" "$peer list $jar" "python3 $pypeer list $jar"
  time_op "$size" extract \
    "$tool extract $jar $manifest $work/out" "unzip -o -q $jar $manifest -d $work/out" \
    "7z x -y -o$work/out $jar $manifest" "$peer extract $jar $manifest $work/out" \
    "python3 $pypeer extract $jar $manifest $work/out"
  time_op "$size" update \
    "$tool update $copy $manifest $work/src" "zip -q $copy $manifest" "7z u $copy $manifest" \
    "$peer update $copy $manifest $manifest" "python3 $pypeer update $copy $manifest $manifest"
  # The updated copy still tests clean.
  unzip -tq "$copy" >/dev/null || { echo "archive.sh: the updated copy fails unzip -t"; exit 1; }
  cp "$jar" "$copy"
  echo "$size list $(peak_kib "$tool" list "$jar")" >>"$work/peaks.txt"
  echo "$size extract $(peak_kib "$tool" extract "$jar" "$manifest" "$work/out")" >>"$work/peaks.txt"
  echo "$size update $(cd "$work/src" && peak_kib "$tool" update "$copy" "$manifest" "$work/src")" \
    >>"$work/peaks.txt"
done

echo "archive.sh: $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
for size in small medium large; do
  echo "  $size.jar: $(stat -c %s "$cache/$size.jar") bytes, $(unzip -Z1 "$cache/$size.jar" | wc -l) entries"
done
python3 - "$work" <<'PY'
import json, os, statistics, sys
work = sys.argv[1]
peers = ["Info-ZIP", "7z", "libzip", "zipfile"]
labels = {"small": "1 MB, 200", "medium": "50 MB, 20k", "large": "200 MB, 100k"}
peaks = {}
for line in open(os.path.join(work, "peaks.txt")):
    size, op, kib = line.split()
    peaks[(size, op)] = int(kib)
head = "%-13s %-8s %9s %9s" % ("archive", "op", "ours ms", "peak KiB")
for p in peers:
    head += " %17s" % (p + " ms (x)")
print(head)
trailing = []
for size in ["small", "medium", "large"]:
    for op in ["list", "extract", "update"]:
        results = json.load(open(os.path.join(work, "%s-%s.json" % (size, op))))["results"]
        medians = [statistics.median(r["times"]) * 1000 for r in results]
        ours = medians[0]
        row = "%-13s %-8s %9.1f %9d" % (labels[size], op, ours, peaks[(size, op)])
        for name, m in zip(peers, medians[1:]):
            row += " %10.1f (%4.2f)" % (m, ours / m)
            if ours > m:
                trailing.append("%s %s: %s %.1f ms, ours %.1f ms" % (labels[size], op, name, m, ours))
        print(row)
print("(x) = ours / peer: below 1 we are faster")
print("trails: " + ("; ".join(trailing) if trailing else "none"))
PY
