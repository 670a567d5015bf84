#!/usr/bin/env bash
# Benchmark of a whole collection (not a test): N real-size JARs, copies of
# the corpus's MIDlets each with its own MIDlet-Name (so that every copy
# makes a project of its own), prepared at once, for N = 1,000 and 5,000.
# Timed for each N, in rounds. Every run, outside the timing, gets a new,
# empty ext4 file system for its program folder or output folder
# (bench/fresh_fs.bash: an image on a loop device with direct I/O), so that
# each run meets the same file system whatever ran before it, and the time
# per JAR at 5,000 against 1,000 compares what the tool does, not how full
# the disk's file system got. Where that cannot be done (not root, no loop
# device) or BENCH_FRESH_FS=0, the runs share the work folder's file system:
# each gets a new folder, synced to disk; the one before is set aside, not
# deleted, until the N is done, then deleted a minute before the next N (on
# a file system without a journal, every inode freed in the last minute is
# passed over by each inode made, so deleting the last run's thousands of
# files would slow the next run by what the benchmark did):
#
#   batch        quellor-batch --keep-going --jad full --ids --icon over the
#                N JARs (given with --from FILE when the tool takes it,
#                else as arguments)
#   check        the same with --check
#   jobs=K       when the tool takes --jobs, both in place of the two above
#                with --jobs K, for each K of BENCH_JOBS (default 1 and the
#                number of cores)
#   loop         a user's shell loop (bench/shell_peer.bash): for every JAR
#                mkdir, cp, unzip -p the manifest, sed its name, zip it back
#   floor        every JAR copied into a new file and flushed
#                (bench/copy_floor.c): the least a preparation must do
#   floor+folders  the same, each copy in a new folder of its own, as
#                every project has one: shown beside the floor, for what a
#                folder a JAR costs the file system as N grows
#
# Only the corpus MIDlets that quellor-batch prepares on their own are
# copied (the others would only add failures); the script names them.
# Every command runs once before the timing, as a check and to bring the
# JARs into the page cache: quellor-batch must exit 0 or 1 (a verdict of
# --check that is not ok) with a project for every JAR, the loop and the
# floor with a JAR for every JAR. Each of BENCH_RUNS rounds (default 5)
# times every command once, each round starting at another command: a run
# writes a gigabyte at 5,000 JARs, and a virtual disk can slow down as it is
# written, so commands timed one after another in a block would meet
# different disks. The table gives medians of the rounds: seconds, JARs a
# second, quellor-batch's processor time a JAR in user and in system mode
# and its peak memory (/usr/bin/time; the largest of its runs), the ratios
# to the floor and to the loop, and below it the time per JAR at the
# largest N over that at the smallest, by the clock and by quellor-batch's
# user and system time: the user time is the tool's own work, the system
# time also what the file system does to find room for each file.
#
#   bench/collection.sh [BUILD_DIR]  (default: build/; quellor-batch is built
#                                     there, the JARs are cached in
#                                     BUILD_DIR/bench-cache/collection)
#   BENCH_SIZES="1000 5000"  the collection sizes N, smallest first
#   BENCH_RUNS=5             timed runs of each command
#   BENCH_JOBS="1 2"         the --jobs values timed, when the tool takes it
#   BENCH_CORPUS=DIR         where the MIDlets are (default: ../shared/corpus/midlets)
#   BENCH_FRESH_FS=0         run on the work folder's file system
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
# shellcheck source=bench/tool_build.bash
source "$root/bench/tool_build.bash"
tool=$(ensure_tool "$build" quellor-batch)
python=/usr/bin/python3
for needed in hyperfine /usr/bin/time zip unzip sed $python cc; do
  command -v "$needed" >/dev/null || { echo "collection.sh: $needed is missing (scripts/setup)"; exit 1; }
done
read -r -a sizes <<<"${BENCH_SIZES:-1000 5000}"
runs=${BENCH_RUNS:-5}
corpus=${BENCH_CORPUS:-$root/../shared/corpus/midlets}
[[ -d $corpus ]] || { echo "collection.sh: no MIDlets at $corpus (BENCH_CORPUS)"; exit 1; }

cache=$build/bench-cache
mkdir -p "$cache"
floor=$cache/copy_floor
if [[ ! -x $floor || $root/bench/copy_floor.c -nt $floor ]]; then
  cc -O2 -Wall -Wextra -o "$floor" "$root/bench/copy_floor.c"
fi

work=$(mktemp -d)
fresh_fs=$root/bench/fresh_fs.bash
image=$cache/collection-fs.img
mount=$work/fs
clean_up() {
  if [[ -d $mount ]]; then
    bash "$fresh_fs" stop "$image" "$mount"
  fi
  rm -rf "$work"
}
trap clean_up EXIT

largest=0
for n in "${sizes[@]}"; do
  if ((n > largest)); then largest=$n; fi
done
# shellcheck source=bench/collection_jars.bash
source "$root/bench/collection_jars.bash"
collection_jars "$tool" "$corpus" "$cache" "$largest" || exit 1

# How the JARs reach the tool, and which --jobs values are timed.
help=$("$tool" --help)
takes_from=false
[[ $help == *--from* ]] && takes_from=true
jobs=()
if [[ $help == *--jobs* ]]; then
  read -r -a jobs <<<"${BENCH_JOBS:-1 $(nproc)}"
fi

if [[ ${BENCH_FRESH_FS:-1} != 0 ]] && bash "$fresh_fs" usable; then
  # Room for the largest N's output (about 250 KiB a JAR) and the journal.
  bash "$fresh_fs" image "$image" $((largest * 400 / 1024 + 512))
  pf=$mount/pf
  out=$mount/out
  prepare="bash -c 'bash $fresh_fs remake $image $mount && mkdir $pf $out && sync'"
  forget_aside() { :; }
  file_system="a new ext4 file system (loop device, direct I/O)"
else
  pf=$work/pf
  out=$work/out
  aside=$work/aside
  mkdir "$aside"
  prepare="bash -c 'for d in $pf $out; do if [[ -e \$d ]]; then mv \$d \$(mktemp -d -p $aside); fi; done; mkdir $pf $out && sync'"
  # What was set aside goes, and the file system forgets the freed inodes.
  forget_aside() {
    rm -rf "$aside" && mkdir "$aside" && sync && sleep 61
  }
  file_system="the work folder's file system, earlier runs set aside"
fi

# commands N: "label<TAB>command" lines, the tool's first. Every run of the
# tool under /usr/bin/time, which appends its peak KiB and its user and
# system seconds to $work/N-label.rss.
commands() {
  local n=$1 list=$work/$1.list inputs label options
  if $takes_from; then
    inputs="--from $list"
  else
    inputs=$(tr '\n' ' ' <"$list")
  fi
  local -a variants=("batch	" "check	--check")
  local k
  if [[ ${#jobs[@]} -gt 0 ]]; then
    variants=()
    for k in "${jobs[@]}"; do
      variants+=("batch jobs=$k	--jobs $k" "check jobs=$k	--check --jobs $k")
    done
  fi
  local variant
  for variant in "${variants[@]}"; do
    label=${variant%%	*}
    options=${variant#*	}
    printf '%s\t%s\n' "$label" "/usr/bin/time -f %M,%U,%S -a -o $work/$n-${label/ /-}.rss $tool --keep-going --jad full --ids --icon $options --program-folder $pf $inputs"
  done
  printf '%s\t%s\n' loop "bash $root/bench/shell_peer.bash $list $out" floor "$floor $list $out" \
    floor+folders "$floor --folders $list $out"
}

# probe N LABEL COMMAND: one run before the timing, checked by what it made.
probe() {
  local n=$1 label=$2 cmd=$3 status=0
  bash -c "$prepare"
  # shellcheck disable=SC2086
  $cmd >"$work/probe.out" 2>"$work/probe.err" || status=$?
  local made
  case $label in
    batch* | check*)
      made=$(find "$pf/projects" -mindepth 1 -maxdepth 1 -type d | wc -l)
      if ((status > 1 || made != n)); then
        tail -5 "$work/probe.err" >&2
        echo "collection.sh: $n $label: exit status $status, $made projects of $n" >&2
        exit 1
      fi
      rm -f "$work/$n-${label/ /-}.rss"
      return ;;
    loop) made=$(find "$out" -name suite.jar | wc -l) ;;
    floor*) made=$(find "$out" -name '*.jar' | wc -l) ;;
  esac
  if ((status != 0 || made != n)); then
    cat "$work/probe.err" >&2
    echo "collection.sh: $n $label: exit status $status, made $made of $n" >&2
    exit 1
  fi
}

for n in "${sizes[@]}"; do
  for ((i = 0; i < n; i++)); do
    printf '%s/%05d.jar\n' "$jars" "$i"
  done >"$work/$n.list"
  names=()
  timed=()
  while IFS=$'\t' read -r label cmd; do
    probe "$n" "$label" "$cmd"
    names+=(-n "$label")
    timed+=("$cmd")
  done < <(commands "$n")
  forget_aside
  # hyperfine's -n goes before each command; its warnings go to a file,
  # shown only on failure. -i: a --check verdict that is not ok exits 1.
  count=${#timed[@]}
  for ((round = 0; round < runs; round++)); do
    args=()
    for ((k = 0; k < count; k++)); do
      i=$(((k + round) % count))
      args+=("${names[2 * i]}" "${names[2 * i + 1]}" "${timed[i]}")
    done
    hyperfine -N -i --style none --runs 1 --prepare "$prepare" \
      --export-json "$work/$n-$round.json" "${args[@]}" >/dev/null 2>"$work/hyperfine.txt" || {
      cat "$work/hyperfine.txt" >&2
      echo "collection.sh: $n JARs failed" >&2
      exit 1
    }
  done
  forget_aside
done

# shellcheck disable=SC2046
average=$(stat -c %s $(cat "$work/$largest.list") | awk '{ s += $1 } END { printf "%d", s / NR / 1024 }')
echo "collection.sh: $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg); $runs runs"
echo "  each run on $file_system"
echo "  ${#midlets[@]} MIDlets copied, $average KiB a JAR on average; JARs given" \
  "$($takes_from && echo "with --from" || echo "as arguments")"
[[ ${#skipped[@]} -eq 0 ]] || echo "  left out (quellor-batch fails on them): ${skipped[*]}"
$python - "$work" "$runs" "${sizes[@]}" <<'PY'
import json, os, statistics, sys
work, runs, sizes = sys.argv[1], int(sys.argv[2]), [int(n) for n in sys.argv[3:]]
rows, per_jar, user_per_jar, system_per_jar, missed = [], {}, {}, {}, []
# The aims: ratios to the floor by kind of run, to the loop, peak memory.
floor_aim = {"batch": 2.0, "check": 3.0}
for n in sizes:
    times = {}
    for round in range(runs):
        for r in json.load(open(os.path.join(work, "%d-%d.json" % (n, round))))["results"]:
            times.setdefault(r["command"], []).extend(r["times"])
    medians = {label: statistics.median(seconds) for label, seconds in times.items()}
    for label, seconds in medians.items():
        peak = cpu = ""
        rss = os.path.join(work, "%d-%s.rss" % (n, label.replace(" ", "-")))
        if os.path.exists(rss):
            runs_seen = [line.split(",") for line in open(rss) if line.count(",") == 2]
            peak = "%.1f" % (max(int(kib) for kib, _, _ in runs_seen) / 1024)
            user = statistics.median(float(u) for _, u, _ in runs_seen)
            system = statistics.median(float(s) for _, _, s in runs_seen)
            cpu = "%.2f+%.2f" % (user * 1000 / n, system * 1000 / n)
            user_per_jar.setdefault(label, {})[n] = user / n
            system_per_jar.setdefault(label, {})[n] = system / n
        kind, faults = label.split()[0], []
        if kind in floor_aim:
            if seconds / medians["floor"] > floor_aim[kind]:
                faults.append("%.1fx floor" % (seconds / medians["floor"]))
            if seconds / medians["loop"] > 0.2:
                faults.append("%.2fx loop" % (seconds / medians["loop"]))
            if peak and float(peak) >= 64:
                faults.append("peak %s MB" % peak)
        if faults:
            missed.append("%s at %d: %s" % (label, n, ", ".join(faults)))
        rows.append("| {:,} | {} | {:.2f} | {:.0f} | {} | {} | {:.2f} | {:.2f} |".format(
            n, label, seconds, n / seconds, cpu, peak, seconds / medians["floor"],
            seconds / medians["loop"]))
        per_jar.setdefault(label, {})[n] = seconds / n
print("| JARs | run | s | JARs/s | user+sys ms/JAR | peak MB | x floor | x loop |")
print("|---:|---|---:|---:|---:|---:|---:|---:|")
print("\n".join(rows))
if len(sizes) > 1:
    low, high = sizes[0], sizes[-1]
    # The loop and the floors are shown beside them: what the disk does as
    # N grows moves them too.
    print("\ntime per JAR at {:,} over that at {:,}: ".format(high, low) + ", ".join(
        "%s %.2f" % (label, times[high] / times[low]) for label, times in per_jar.items()))
    for mode, per_mode in (("user", user_per_jar), ("system", system_per_jar)):
        print("{} time per JAR at {:,} over that at {:,}: ".format(mode, high, low) + ", ".join(
            "%s %.2f" % (label, cpu[high] / cpu[low]) for label, cpu in per_mode.items()))
    missed += ["%s: per JAR %.2fx" % (label, times[high] / times[low])
               for label, times in per_jar.items()
               if label not in ("loop", "floor", "floor+folders")
               and times[high] / times[low] > 1.1]
print("aims (at most 2x floor, 3x with --check, 0.2x loop; per JAR at most 1.1x; "
      "under 64 MB) missed: " + ("; ".join(missed) if missed else "none"))
PY
