#!/usr/bin/env bash
# Compares the salvage copy with GNU ddrescue on the same bad-media sources, and times the
# engine against a bare loop of its platform calls on a clean 1 GiB file in the page cache.
#
#   [ROUNDS=5] bench/salvage_anchor.sh    as root: it mounts the bad-media file system, and
#                                         installs gddrescue where it is missing
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source bench/anchor_setup.sh
anchor_setup anchor 94
scripts/badmedia mount build/native/badmedia_fs bench/salvage_anchor_tree.txt "$media"
run_wine() { "$root"/scripts/wine-run --prefix "$root"/build/win64/wine "$@"; }
windows() { echo "Z:${1//\//\\}"; }

# The blocks of a ddrescue map file (position, size, status) in decimal; the first line
# that is not a comment is ddrescue's own state.
map_blocks() {
  grep -v '^#' "$1" | tail -n +2 | while read -r pos size status; do
    [[ -n ${status:-} ]] && echo "$((pos)) $((size)) $status"
  done
}

for name in aligned unaligned; do
  source=$media/mnt/anchor/$name.bin
  echo "== $name.bin ($(stat -c %s "$source") bytes)"
  run_wine build/win64/salvage_bench.exe copy "$(windows "$source")" "$(windows "$work/$name.engine")" |
    tr -d '\r'
  ddrescue -q -f "$source" "$work/$name.ddrescue" "$work/$name.map" || true
  echo "ddrescue rescued: $(map_blocks "$work/$name.map" | awk '$3 == "+" { s += $2 } END { print s + 0 }') bytes; unrescued areas (offset, bytes):"
  map_blocks "$work/$name.map" | awk '$3 != "+" { print "  " $1, $2 }'
  # Neither tool writes what it cannot read: both leave zeros there.
  if cmp -s "$work/$name.engine" "$work/$name.ddrescue"; then
    echo "outputs: identical, byte for byte"
  else
    echo "outputs differ: $(cmp -l "$work/$name.engine" "$work/$name.ddrescue" 2>/dev/null | wc -l) bytes" \
         "($(stat -c %s "$work/$name.engine") and $(stat -c %s "$work/$name.ddrescue") bytes long)"
  fi
done

# The copies go to memory (/dev/shm): what is measured is the engine's own cost, not the
# disk's write-back, which on a shared machine varies far more than 5 %.
echo "== clean 1 GiB file in the page cache, copied to /dev/shm"
file=$work/one-gib.bin
copies=$(mktemp -d /dev/shm/verolux-anchor.XXXXXX)
trap 'cleanup; rm -rf "$copies"' EXIT
head -c 1G /dev/urandom >"$file"
cat "$file" >/dev/null
echo "-- native ddrescue (reference)"
/usr/bin/time -f "%e s" ddrescue -q -f "$file" "$copies/one-gib.ddrescue" "$work/one-gib.map"
rm -f "$copies/one-gib.ddrescue"
echo "-- under Wine"
run_wine build/win64/salvage_bench.exe time "$(windows "$file")" "$(windows "$copies/one-gib.copy")" \
  "${ROUNDS:-5}" | grep -v '^message' | tr -d '\r'
