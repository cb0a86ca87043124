#!/usr/bin/env bash
# Extraction over files that are already there: by default they are replaced and the summary
# says how many; with --keep-existing every one is left as it is (a file, a link, a folder
# standing at a stored name) and the summary says how many were kept. Either way nothing is
# put in place unless the whole archive reads and verifies.
#   extract_existing.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
pw=Velvet-Otter-Quarry-42
run() { "$tool" "$@" </dev/null >out.txt 2>err.txt; }

mkdir -p in/sub
printf 'new a\n' >in/a.txt
printf 'new b\n' >in/b.txt
printf 'new c\n' >in/sub/c.txt
"$tool" create -q --plain -p "$pw" -o a.tvf in || exit 1
destination() {  # a destination holding older a.txt and b.txt
    rm -rf d
    mkdir -p d/in
    printf 'old a\n' >d/in/a.txt
    printf 'old b\n' >d/in/b.txt
}

run extract -p "$pw" -d fresh a.tvf; check "into an empty folder" 0 $?
expect "says only how many" grep -qx 'extracted 3 file(s), verified' out.txt
destination
run extract -p "$pw" -d d a.tvf; check "over two files" 0 $?
expect "says how many it replaced" grep -qx 'extracted 3 file(s), 2 of them replacing existing files, verified' out.txt
expect "they hold the archive's bytes" test "$(cat d/in/a.txt d/in/b.txt)" = "$(printf 'new a\nnew b')"

destination
run extract --keep-existing -p "$pw" -d d a.tvf; check "--keep-existing over two files" 0 $?
expect "says how many it kept" grep -qx 'extracted 1 file(s), kept 2 existing file(s) as they were, verified' out.txt
expect "they are as they were" test "$(cat d/in/a.txt d/in/b.txt)" = "$(printf 'old a\nold b')"
expect "the new one is there" cmp -s in/sub/c.txt d/in/sub/c.txt
expect "and nothing else" test "$(find d -type f | sort | tr '\n' ' ')" = 'd/in/a.txt d/in/b.txt d/in/sub/c.txt '
run extract -q --keep-existing -p "$pw" -d d a.tvf; check "--keep-existing when all are there" 0 $?
expect "-q says nothing" test ! -s out.txt -a ! -s err.txt

# What stands at a stored name is left, whatever it is; without the option a link or a folder
# there refuses the whole run.
rm -rf d && mkdir -p d/in/sub
printf 'elsewhere\n' >target.txt
ln -s ../../target.txt d/in/a.txt
mkdir d/in/b.txt
run extract -p "$pw" -d d a.tvf; check "a link and a folder at stored names" 4 $?
expect "nothing was put in place" test ! -e d/in/sub/c.txt
run extract --keep-existing -p "$pw" -d d a.tvf; check "the same with --keep-existing" 0 $?
expect "the link is left" test -L d/in/a.txt -a "$(cat target.txt)" = elsewhere
expect "the folder is left" test -d d/in/b.txt
expect "the third file is extracted" cmp -s in/sub/c.txt d/in/sub/c.txt

# All or nothing still: an archive whose last byte of data was changed puts nothing in place.
size=$(stat -c %s a.tvf)
cp a.tvf bad.tvf
printf '\x55' | dd of=bad.tvf bs=1 seek=$((size - 200)) conv=notrunc status=none
destination
run extract --keep-existing -p "$pw" -d d bad.tvf; check "a damaged archive with --keep-existing" 2 $?
expect "leaves the destination as it was" test "$(find d -type f | sort | tr '\n' ' ')" = 'd/in/a.txt d/in/b.txt '
run list --keep-existing -p "$pw" a.tvf; check "--keep-existing is extract's alone" 64 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
