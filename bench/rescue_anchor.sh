#!/usr/bin/env bash
# Compares the rescue passes of Copy Files To with GNU ddrescue (defaults, and -r3) and with
# one try of each 4 KiB block (the salvage copy's rule) on the same bad-media tree: the bytes
# each rescues of those that any read can give, and the failing reads each spends. Every
# method gets a fresh mount (marginal sectors fail anew) and a drive check before it, one read
# of each 4 KiB block, as Copy Files To always follows one.
#
#   bench/rescue_anchor.sh    as root: it mounts the bad-media file system, and installs
#                             gddrescue where it is missing
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source bench/anchor_setup.sh
anchor_setup rescue 95
run_wine() { "$root"/scripts/wine-run --prefix "$root"/build/win64/wine "$@"; }
windows() { echo "Z:${1//\//\\}"; }
tree=$media/mnt/rescue
files=(a-unaligned b-dead c-weak d-dead-end e-clean)

# The bytes that any read can give: every 512-byte sector without a bad= byte (marginal ones
# read in the end; no read of a sector with a bad byte succeeds).
readable=$(python3 - bench/rescue_anchor_tree.txt <<'PY'
import re, sys
def number(text):
    total = 0
    for part in text.split('+'):
        m = re.fullmatch(r'(\d+)([KMGT]?)', part)
        total += int(m.group(1)) * 1024 ** ' KMGT'.index(m.group(2) or ' ')
    return total
readable = 0
for line in open(sys.argv[1]):
    words = line.split()
    if len(words) < 3 or words[0] != 'file':
        continue
    size = number(words[2])
    bad = [tuple(map(number, w[4:].split('-'))) for w in words[3:] if w.startswith('bad=')]
    bad = [(start // 512 * 512, min(size, (end + 511) // 512 * 512)) for start, end in bad]
    readable += size - sum(end - start for start, end in bad)
print(readable)
PY
)

# A fresh mount and a drive check: one read of each 4 KiB block of each file.
fresh_mount() {
  scripts/badmedia unmount "$media" >/dev/null 2>&1 || true
  scripts/badmedia mount build/native/badmedia_fs bench/rescue_anchor_tree.txt "$media" >/dev/null
  python3 - "$tree" "${files[@]}" <<'PY'
import os, sys
for name in sys.argv[2:]:
    fd = os.open(os.path.join(sys.argv[1], name + '.bin'), os.O_RDONLY)
    size = os.fstat(fd).st_size
    for at in range(0, size, 4096):
        try:
            os.pread(fd, 4096, at)
        except OSError:
            pass
    os.close(fd)
PY
  log_start=$(wc -l <"$media/reads.log")
}
failing_reads() { tail -n +"$((log_start + 1))" "$media/reads.log" | awk '$4 == "EIO"' | wc -l; }
row() { printf '| %s | %s | %.2f %% | %s |\n' "$1" "$2" "$(echo "100 * $2 / $readable" | bc -l)" "$3"; }

echo "Bytes that any read can give: $readable"
echo "| Method | Rescued bytes | Share | Failing reads |"
echo "|---|---|---|---|"

fresh_mount
out=$work/copy-files-to
run_wine build/win64/batch_salvage_bench.exe rescue "$(windows "$tree")" "C:\\verolux-rescue-anchor" |
  tr -d '\r' >"$work/copy-files-to.txt"
reads=$(failing_reads)
prefix_c=$root/build/win64/wine/drive_c/verolux-rescue-anchor
rescued=$(tail -n +2 "$prefix_c"/Copy\ report*.csv | awk -F, '{ s += $4 } END { print s + 0 }')
row "Copy Files To (passes)" "$rescued" "$reads"
mkdir -p "$out" && cp "$prefix_c"/*.bin "$out"/ && rm -rf "$prefix_c"

fresh_mount
rescued=0
for name in "${files[@]}"; do
  run_wine build/win64/salvage_bench.exe copy "$(windows "$tree/$name.bin")" "$(windows "$work/$name.one-pass")" \
    | tr -d '\r' >"$work/$name.one-pass.txt"
  rescued=$((rescued + $(sed -n 's/^correct: \([0-9]*\) bytes.*/\1/p' "$work/$name.one-pass.txt")))
done
row "4 KiB blocks, one try each (Copy Unreadable File)" "$rescued" "$(failing_reads)"

for retries in 0 3; do
  fresh_mount
  rescued=0
  for name in "${files[@]}"; do
    ddrescue -q -f -r"$retries" "$tree/$name.bin" "$work/$name.ddrescue$retries" "$work/$name.map$retries" || true
    while read -r pos size status; do
      if [[ $status == + ]]; then rescued=$((rescued + size)); fi
    done < <(grep -v '^#' "$work/$name.map$retries" | tail -n +2)
  done
  row "GNU ddrescue -r$retries" "$rescued" "$(failing_reads)"
done

# Neither tool writes what it cannot read: where both rescued the same, the outputs match.
# ddrescue's output ends at its last rescued byte; a copy keeps the source's length.
for name in "${files[@]}"; do
  ours=$(stat -c %s "$out/$name.bin") theirs=$(stat -c %s "$work/$name.ddrescue3")
  differing=$(cmp -l -n "$theirs" "$out/$name.bin" "$work/$name.ddrescue3" 2>/dev/null | wc -l)
  echo "$name.bin: $differing bytes differ from ddrescue -r3's output over its $theirs bytes (the copy: $ours)"
done
grep -A8 '^message' "$work/copy-files-to.txt" | head -n 12
