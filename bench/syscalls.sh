#!/usr/bin/env bash
# Benchmark of the system calls a collection costs (not a test): the same
# JARs as bench/collection.sh (copies of the corpus MIDlets, each with its
# own MIDlet-Name), prepared at once by
#
#   quellor-batch --keep-going --jad full --ids --icon [--check] [--jobs K]
#
# under `strace -f -c` on a fresh program folder, for each N of
# BENCH_SIZES. Counted per JAR: every call besides those that move the
# JARs' bytes (read, write, pread64, pwrite64, copy_file_range) and futex
# (threads waiting for each other, which tracing multiplies), then the
# stat calls among them, then all. The aim: at most 100 a JAR besides the
# bytes, the same at every N.
#
#   bench/syscalls.sh [BUILD_DIR]   (default: build/)
#   BENCH_SIZES="300 3000"   the collection sizes N
#   BENCH_JOBS="1 2"         the --jobs values (default 1 and the cores)
#   BENCH_CORPUS=DIR         where the MIDlets are (default: ../shared/corpus/midlets)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
# shellcheck source=bench/tool_build.bash
source "$root/bench/tool_build.bash"
tool=$(ensure_tool "$build" quellor-batch)
command -v strace >/dev/null || { echo "syscalls.sh: strace is missing (scripts/setup)"; exit 1; }
read -r -a sizes <<<"${BENCH_SIZES:-300 3000}"
read -r -a jobs <<<"${BENCH_JOBS:-1 $(nproc)}"
corpus=${BENCH_CORPUS:-$root/../shared/corpus/midlets}
[[ -d $corpus ]] || { echo "syscalls.sh: no MIDlets at $corpus (BENCH_CORPUS)"; exit 1; }

largest=0
for n in "${sizes[@]}"; do
  if ((n > largest)); then largest=$n; fi
done
# shellcheck source=bench/collection_jars.bash
source "$root/bench/collection_jars.bash"
mkdir -p "$build/bench-cache"
collection_jars "$tool" "$corpus" "$build/bench-cache" "$largest" || exit 1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "syscalls.sh: calls per JAR; besides bytes and futex / of them stat / all"
printf '%6s  %-16s %8s %6s %6s\n' JARs run besides stat all
for n in "${sizes[@]}"; do
  for ((i = 0; i < n; i++)); do
    printf '%s/%05d.jar\n' "$jars" "$i"
  done >"$work/list"
  for k in "${jobs[@]}"; do
    for check in "" --check; do
      rm -rf "$work/pf" && mkdir "$work/pf"
      status=0
      strace -f -c -o "$work/counts" "$tool" --keep-going --jad full --ids --icon $check \
        --jobs "$k" --program-folder "$work/pf" --from "$work/list" >/dev/null 2>&1 || status=$?
      made=$(find "$work/pf/projects" -mindepth 1 -maxdepth 1 -type d | wc -l)
      if ((status > 1 || made != n)); then
        echo "syscalls.sh: $n JARs, jobs=$k $check: exit status $status, $made projects" >&2
        exit 1
      fi
      # strace -c: calls in the fourth column, the name in the last; the
      # errors column is empty for calls that never failed.
      label="batch jobs=$k"
      [[ -z $check ]] || label="check jobs=$k"
      awk -v n="$n" -v label="$label" '
        NR > 2 && $1 !~ /^-/ && $NF != "total" {
          all += $4
          if ($NF !~ /^(read|write|pread64|pwrite64|copy_file_range|futex)$/) besides += $4
          if ($NF ~ /stat/) stats += $4
        }
        END { printf "%6d  %-16s %8.1f %6.1f %6.1f\n", n, label, besides / n, stats / n, all / n }
      ' "$work/counts"
    done
  done
done
