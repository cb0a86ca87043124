#!/usr/bin/env bash
# A file past 4 GiB through create and extract: every size and offset must be 64-bit on every
# build. The input is sparse; a few real bytes near the start, across the 4 GiB mark and at the
# end make sure the data lands where it belongs.
#   large_file.sh TOOL [ARGS...]
set -u
tool=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# The archive and the extracted copy need about 8.2 GiB; a machine without the room skips.
free_kib=$(df -Pk . | awk 'NR == 2 { print $4 }')
if [ "${free_kib:-0}" -lt $((10 * 1024 * 1024)) ]; then
    echo "only $((free_kib / 1024)) MiB free here: the large-file round trip is skipped"
    exit 77
fi
size=$((4 * 1024 * 1024 * 1024 + 4096 + 7))
truncate -s "$size" big.bin
printf 'start' | dd of=big.bin conv=notrunc bs=1 seek=3 status=none
printf 'across-the-4-GiB-mark' | dd of=big.bin conv=notrunc bs=1 seek=$((4 * 1024 * 1024 * 1024 - 10)) status=none
printf 'end' | dd of=big.bin conv=notrunc bs=1 seek=$((size - 3)) status=none
printf 'small\n' >after.txt

"${tool[@]}" create --plain -p big -o big.tvf big.bin after.txt </dev/null >/dev/null || { echo "0 passed, 1 failed: create"; exit 1; }
rm -f big.bin.copy
"${tool[@]}" list -v big.tvf -p big </dev/null >list.txt || { echo "0 passed, 1 failed: list"; exit 1; }
grep -q "$size  big.bin" list.txt || { echo "0 passed, 1 failed: size listed"; cat list.txt; exit 1; }
"${tool[@]}" extract big.tvf -d out -p big </dev/null >/dev/null || { echo "0 passed, 1 failed: extract"; exit 1; }
rm -f big.tvf
cmp big.bin out/big.bin || { echo "0 passed, 1 failed: contents"; exit 1; }
cmp after.txt out/after.txt || { echo "0 passed, 1 failed: the file after it"; exit 1; }
echo "1 passed, 0 failed"
