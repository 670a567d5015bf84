# The collection benchmark's shell loop: a collection prepared the way a
# user's script would do it, five processes a JAR: a folder for the
# manifest, a copy of the JAR, the manifest out with unzip -p, its name line
# changed with sed, and zip putting it back into the copy. Nothing is
# flushed. Run by bench/collection.sh as: bash shell_peer.bash LIST FOLDER
set -euo pipefail
list=$1
out=$2
number=0
while IFS= read -r jar; do
  here=$out/$number
  mkdir -p "$here/META-INF"
  cp "$jar" "$here/suite.jar"
  unzip -p "$jar" META-INF/MANIFEST.MF | sed 's/^MIDlet-Name: /&Copy /' >"$here/META-INF/MANIFEST.MF"
  cd "$here"
  zip -q suite.jar META-INF/MANIFEST.MF
  cd - >/dev/null
  number=$((number + 1))
done <"$list"
