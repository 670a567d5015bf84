# Sourced by the collection benchmarks.
#
# collection_jars TOOL CORPUS CACHE COUNT: writes CACHE/collection/00000.jar
# ... (COUNT of them), copies of the corpus MIDlets that TOOL prepares on
# their own, each with its own MIDlet-Name (bench/make_collection.py); the
# copies are kept there for the next run. Sets `jars` (the folder),
# `midlets` (the MIDlets copied) and `skipped` (those left out, relative to
# CORPUS).
collection_jars() {
  local tool=$1 corpus=$2 cache=$3 count=$4 root probe jar
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  probe=$(mktemp -d)
  midlets=()
  skipped=()
  while IFS= read -r -d '' jar; do
    rm -rf "$probe/pf" && mkdir "$probe/pf"
    if "$tool" --quiet --jad full --ids --icon --program-folder "$probe/pf" "$jar" >/dev/null 2>&1; then
      midlets+=("$jar")
    else
      skipped+=("${jar#"$corpus"/}")
    fi
  done < <(find "$corpus" -name '*.jar' -print0 | sort -z)
  rm -rf "$probe"
  if [[ ${#midlets[@]} -eq 0 ]]; then
    echo "no MIDlet in $corpus prepares" >&2
    return 1
  fi
  jars=$cache/collection
  /usr/bin/python3 "$root/bench/make_collection.py" "$jars" "$count" "${midlets[@]}"
}
