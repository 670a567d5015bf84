# Sourced by the benchmarks. ensure_tool BUILD_DIR NAME: configures and
# builds tools/NAME in BUILD_DIR when it is not there yet, and prints its
# path.
ensure_tool() {
  local build=$1 name=$2 root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [[ ! -x $build/tools/$name ]]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" -j2 --target "$name" >/dev/null
  fi
  echo "$build/tools/$name"
}
