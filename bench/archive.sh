#!/usr/bin/env bash
# Benchmark of the archive engine (not a test): quellor-zip beside Info-ZIP
# zip/unzip, 7z, libzip (bench/libzip_peer.c) and python's zipfile
# (bench/zipfile_peer.py, run by /usr/bin/python3: a python3 found on PATH
# may be a wrapper that adds its own start-up time), on a real MIDlet from
# the corpus and on generated JARs of 1 MB / 200 entries, 12 MB / 5,000,
# 50 MB / 20,000 and 200 MB / 100,000 entries whose manifest comes second,
# right after META-INF/.
#
#   list         quellor-zip list; unzip -l; 7z l; libzip_peer list; zipfile list
#   extract      the manifest into a folder
#   extract-all  every entry into an empty folder (emptied and synced before
#                every run, outside the timing); the 5,000-entry JAR is timed
#                only for this, to show how the time grows with the entries
#   update       a new manifest into a fresh copy of the JAR (copied and
#                synced to disk before every run, outside the timing);
#                zipfile has to write the archive anew. Info-ZIP and libzip
#                rename their new archive into place without flushing it
#                (strace shows no fsync): a power loss may leave a damaged
#                archive. Ours flushes the new file and then the folder, so
#                the rows "Info-ZIP+flush" and "libzip+flush" time each peer
#                followed by the same two flushes (sync -d of the archive,
#                sync of its folder; dash starts them, which adds about a
#                millisecond to the peer's time)
#
# All runs are timed by hyperfine in one go per case (medians; no shell
# between); the table gives our median, our peak memory (/usr/bin/time -v)
# and the ratio ours/peer for each peer (below 1: we are faster). A command
# that takes longer than BENCH_LIMIT seconds (default 120) in a first probe
# run is left out of its case and shown as "skipped".
# BENCH_ONLY="update midlet:list" times only those operations, or cases
# (SIZE:OP).
# With BENCH_BEFORE=/path/to/an/older/quellor-zip the older build is timed
# in the same runs, as one more column.
#
#   bench/archive.sh [BUILD_DIR]     (default: build/; quellor-zip is built
#                                     there, the JARs are cached in
#                                     BUILD_DIR/bench-cache)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
# shellcheck source=bench/tool_build.bash
source "$root/bench/tool_build.bash"
tool=$(ensure_tool "$build" quellor-zip)
python=/usr/bin/python3
for needed in hyperfine /usr/bin/time timeout zip unzip 7z $python cc pkg-config; do
  command -v "$needed" >/dev/null || { echo "archive.sh: $needed is missing (scripts/setup)"; exit 1; }
done
pkg-config --exists libzip || { echo "archive.sh: libzip is missing (scripts/setup)"; exit 1; }
limit=${BENCH_LIMIT:-120}
only=${BENCH_ONLY:-}
before=${BENCH_BEFORE:-}

cache=$build/bench-cache
mkdir -p "$cache"
peer=$cache/libzip_peer
if [[ ! -x $peer || $root/bench/libzip_peer.c -nt $peer ]]; then
  # shellcheck disable=SC2046
  cc -O2 -Wall -Wextra -o "$peer" "$root/bench/libzip_peer.c" $(pkg-config --cflags --libs libzip)
fi
$python "$root/bench/make_jars.py" "$cache"
midlet=${BENCH_MIDLET:-$root/../shared/corpus/midlets/vipaoL_j2me_compiler_WTK252/MobileMediaAPI.jar}
[[ -f $midlet ]] || { echo "archive.sh: no MIDlet at $midlet (BENCH_MIDLET)"; exit 1; }
cp "$midlet" "$cache/midlet.jar"
chmod 644 "$cache/midlet.jar"  # the corpus is read-only; its copies must not be
pypeer=$root/bench/zipfile_peer.py

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
manifest=META-INF/MANIFEST.MF
# The new manifest, where every updating tool finds it by the entry's name.
mkdir -p "$work/src/META-INF" "$work/out"
printf 'Manifest-Version: 1.0\r\nMIDlet-Name: Bench\r\nMIDlet-Vendor: Bench\r\nMIDlet-Version: 1.1\r\nMIDlet-1: Bench, /icon.png, bench.Main\r\n\r\n' \
  >"$work/src/$manifest"

# runs_for SIZE OP: timed runs of each command. Runs of a few milliseconds
# move with the machine's load, so they are many, after warm-up runs; the
# long ones are few.
runs_for() {
  case $1:$2 in
    *:list | *:extract | midlet:* | small:*) echo 30 ;;
    five:*) echo 10 ;;  # the kernel making 5,000 files: one slow run in three moved the median
    medium:*) echo 3 ;;
    *) echo 2 ;;
  esac
}

warmup_for() {
  case $(runs_for "$1" "$2") in
    30) echo 3 ;;
    *) echo 0 ;;
  esac
}

# commands SIZE OP: "label<TAB>command" lines for one case, ours first.
commands() {
  local size=$1 op=$2 jar=$cache/$1.jar copy=$work/copy.jar all=$work/all
  local -a ours=("ours	$tool")
  [[ -n $before ]] && ours+=("before	$before")
  local entry label cmd
  for entry in "${ours[@]}"; do
    label=${entry%%	*}
    cmd=${entry#*	}
    case $op in
      list) echo "$label	$cmd list $jar" ;;
      extract) echo "$label	$cmd extract $jar $manifest $work/out" ;;
      extract-all) echo "$label	$cmd extract $jar * $all" ;;
      update) echo "$label	$cmd update $copy $manifest $work/src" ;;
    esac
  done
  case $op in
    list)
      printf '%s\t%s\n' Info-ZIP "unzip -l $jar" 7z "7z l $jar" libzip "$peer list $jar" \
        zipfile "$python $pypeer list $jar" ;;
    extract)
      printf '%s\t%s\n' Info-ZIP "unzip -o -q $jar $manifest -d $work/out" \
        7z "7z x -y -o$work/out $jar $manifest" libzip "$peer extract $jar $manifest $work/out" \
        zipfile "$python $pypeer extract $jar $manifest $work/out" ;;
    extract-all)
      printf '%s\t%s\n' Info-ZIP "unzip -o -q $jar -d $all" 7z "7z x -y -o$all $jar" \
        libzip "$peer extract-all $jar $all" zipfile "$python $pypeer extract-all $jar $all" ;;
    update)
      printf '%s\t%s\n' Info-ZIP "zip -q $copy $manifest" 7z "7z u $copy $manifest" \
        libzip "$peer update $copy $manifest $manifest" \
        zipfile "$python $pypeer update $copy $manifest $manifest" \
        Info-ZIP+flush "$(flushed "zip -q $copy $manifest")" \
        libzip+flush "$(flushed "$peer update $copy $manifest $manifest")" ;;
  esac
}

# flushed COMMAND: the command, then the flushes our update makes.
flushed() {
  echo "dash -c '$1 && sync -d $work/copy.jar && sync $work'"
}

# What runs before every timed run, outside the timing. Both end with the
# file system's pending writes on disk: removing thousands of files, or a
# copy still in the page cache, would otherwise be written out during the
# timed run (a tool that flushes the archive, as ours does, paid for the
# copy's creation and blocks), which no user's JAR lying on disk costs.
prepare_for() {
  case $2 in
    extract-all) echo "bash -c 'rm -rf $work/all && sync'" ;;
    update) echo "bash -c 'cp $cache/$1.jar $work/copy.jar && sync $work/copy.jar'" ;;
    *) echo "true" ;;
  esac
}

# time_op SIZE OP: one probe run of each command (those over the limit are
# skipped), then one hyperfine run over the rest, in the folder holding the
# new manifest. Labels to $work/SIZE-OP.labels, JSON to $work/SIZE-OP.json.
time_op() {
  local size=$1 op=$2 prepare label cmd
  prepare=$(prepare_for "$size" "$op")
  local -a timed=()
  : >"$work/$size-$op.labels"
  while IFS=$'\t' read -r label cmd; do
    bash -c "$prepare"
    # bash reads the command as hyperfine does: quotes group, no globbing.
    if (cd "$work/src" && timeout "$limit" bash -c "set -f; exec $cmd" >/dev/null 2>&1); then
      timed+=("$cmd")
      echo "$label" >>"$work/$size-$op.labels"
    elif [[ $? == 124 ]]; then
      echo "$label skipped" >>"$work/$size-$op.labels"
    else
      echo "archive.sh: $size $op: $cmd failed" >&2
      exit 1
    fi
  done < <(commands "$size" "$op")
  # hyperfine's warnings about noise go to a file, shown only on failure.
  (cd "$work/src" && hyperfine -N --style none --runs "$(runs_for "$size" "$op")" \
    --warmup "$(warmup_for "$size" "$op")" \
    --prepare "$prepare" --export-json "$work/$size-$op.json" "${timed[@]}" \
    >/dev/null 2>"$work/hyperfine.txt") || {
    cat "$work/hyperfine.txt" >&2
    echo "archive.sh: $size $op failed" >&2
    exit 1
  }
}

# peak_kib SIZE OP: our peak resident memory in KiB for one run.
peak_kib() {
  local cmd
  bash -c "$(prepare_for "$1" "$2")"
  cmd=$(commands "$1" "$2" | head -1 | cut -f2)
  # shellcheck disable=SC2086
  (cd "$work/src" && set -f && /usr/bin/time -v -o "$work/time.txt" $cmd >/dev/null)
  awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt"
}

cases=()
for size in midlet small five medium large; do
  ops=(list extract extract-all update)
  [[ $size == five ]] && ops=(extract-all)
  for op in "${ops[@]}"; do
    [[ -z $only || " $only " == *" $size:$op "* || " $only " == *" $op "* ]] || continue
    cases+=("$size $op")
  done
done
: >"$work/peaks.txt"
for c in "${cases[@]}"; do
  read -r size op <<<"$c"
  time_op "$size" "$op"
  if [[ $op == update ]]; then
    # The updated copy still tests clean.
    unzip -tq "$work/copy.jar" >/dev/null || { echo "archive.sh: the updated copy fails unzip -t"; exit 1; }
  fi
  echo "$size $op $(peak_kib "$size" "$op")" >>"$work/peaks.txt"
done

echo "archive.sh: $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg); limit ${limit} s"
for size in midlet small five medium large; do
  echo "  $size.jar: $(stat -c %s "$cache/$size.jar") bytes, $(unzip -Z1 "$cache/$size.jar" | wc -l) entries"
done
printf '%s\n' "${cases[@]}" >"$work/cases.txt"
$python - "$work" <<'PY'
import json, os, statistics, sys
work = sys.argv[1]
peers = ["Info-ZIP", "7z", "libzip", "zipfile", "Info-ZIP+flush", "libzip+flush"]
labels = {"midlet": "MIDlet", "small": "1 MB, 200", "five": "12 MB, 5k",
          "medium": "50 MB, 20k", "large": "200 MB, 100k"}
peaks = {}
for line in open(os.path.join(work, "peaks.txt")):
    size, op, kib = line.split()
    peaks[(size, op)] = int(kib)
cases = [line.split() for line in open(os.path.join(work, "cases.txt"))]
has_before = any("before" in open(os.path.join(work, "%s-%s.labels" % tuple(c))).read().split()
                 for c in cases)
columns = (["before"] if has_before else []) + peers
print("| archive | operation | ours ms | peak KiB | " +
      " | ".join(c + " ms (x)" for c in columns) + " |")
print("|---|---|---:|---:|" + "---:|" * len(columns))
trailing = []
for size, op in cases:
    names = [line.split() for line in open(os.path.join(work, "%s-%s.labels" % (size, op)))]
    results = json.load(open(os.path.join(work, "%s-%s.json" % (size, op))))["results"]
    timed = [n[0] for n in names if len(n) == 1]
    medians = dict(zip(timed, (statistics.median(r["times"]) * 1000 for r in results)))
    ours = medians["ours"]
    row = "| %s | %s | %.1f | %d |" % (labels[size], op, ours, peaks[(size, op)])
    for name in columns:
        if name in medians:
            row += " %.1f (%.2f) |" % (medians[name], ours / medians[name])
            if ours > medians[name] and name != "before":
                trailing.append("%s %s: %s %.1f ms, ours %.1f ms"
                                % (labels[size], op, name, medians[name], ours))
        elif [name, "skipped"] in names:
            row += " skipped (over the limit) |"
        else:
            row += " |"
    print(row)
print("\n(x) = ours / that tool: below 1 we are faster")
print("trails: " + ("; ".join(trailing) if trailing else "none"))
PY
