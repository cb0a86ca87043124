#!/usr/bin/env bash
# Tampering and damage that the integrity record must catch, through sfxtool: one changed bit at
# 120 spots spread over the data stream, the info block (records, record, padding) and the
# trailer; two data blocks swapped; the info block cut short. Each time extract and test fail,
# and a file already in the destination under a stored name stays exactly as it was, with
# nothing beside it. Then the classic image: archives written before the record existed open as
# before, "not verified", and --no-integrity writes exactly their bytes.
#   integrity_tamper.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sfxtool=$(realpath "$1")
fixtures=$(cd "$(dirname "$0")/fixtures" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Three chunks of data (the last one short), a small file, an empty one.
mkdir -p in
printf 'hello\n' >in/a.txt
: >in/empty
head -c 1200000 /dev/urandom >in/big.bin
"$sfxtool" create --plain --classic-key -p pw -o sealed.tvf in >/dev/null 2>&1
check "create" 0 $?
size=$(stat -c %s sealed.tvf)

# The destination already holds a file under a stored name.
fresh_destination() {
    rm -rf dest
    mkdir -p dest/in
    printf 'mine, keep me\n' >dest/in/a.txt
}
unchanged() {  # nothing but the file that was there, as it was
    [ "$(cat dest/in/a.txt)" = 'mine, keep me' ] && [ "$(find dest -type f | wc -l)" = 1 ]
}

# refused LABEL ARCHIVE [OFFSET]: extract and test both fail, the destination is untouched. A
# change before the trailer (the last 32 bytes) is called corrupt (2); a change at OFFSET inside
# the trailer may read as a wrong password (1) instead, as the README says.
refused() {
    local label=$1 archive=$2 offset=${3:-0} status allowed=" 2 "
    [ "$offset" -ge $((size - 32)) ] && allowed=" 1 2 "
    fresh_destination
    "$sfxtool" extract -q -p pw -d dest "$archive" >/dev/null 2>err.txt
    status=$?
    [[ "$allowed" == *" $status "* ]] || check "$label: extract fails as${allowed}" 2 "$status"
    expect "$label: destination unchanged" unchanged
    "$sfxtool" test -q -p pw "$archive" >/dev/null 2>&1
    status=$?
    [[ "$allowed" == *" $status "* ]] || check "$label: test fails as${allowed}" 2 "$status"
}

flipped_copy() {  # flipped_copy OFFSET BIT: flipped.tvf is sealed.tvf with that bit changed
    local byte
    cp sealed.tvf flipped.tvf
    byte=$(od -An -tu1 -j "$1" -N1 sealed.tvf)
    printf "\\$(printf '%03o' $((byte ^ (1 << $2))))" |
        dd of=flipped.tvf bs=1 seek="$1" conv=notrunc status=none
}

# One bit at each of 120 spots from the first byte to the last (a .tvf has no stub), flipping
# a different bit of the byte each time.
spots=120
for ((k = 0; k < spots; k++)); do
    offset=$(((size - 1) * k / (spots - 1)))
    flipped_copy "$offset" $((k % 8))
    refused "bit $((k % 8)) at $offset" flipped.tvf "$offset"
done

# The info block's own spots: each of its last 176 bytes (the tail after the records: padding,
# guard, header and the two tags) and the trailer's 32.
info_end=$((size - 32))
for ((offset = info_end - 176; offset < size; offset += 3)); do
    flipped_copy "$offset" 0
    refused "tail bit at $offset" flipped.tvf "$offset"
done

# Two whole cipher blocks of the data stream swapped: each deciphers to garbage only next to
# where it lands, and inside one chunk and across chunks.
swap_blocks() {  # swap_blocks A B: the 16-byte blocks at offsets A and B
    cp sealed.tvf swapped.tvf
    dd if=sealed.tvf of=swapped.tvf bs=16 skip=$(($1 / 16)) seek=$(($2 / 16)) count=1 \
        conv=notrunc status=none
    dd if=sealed.tvf of=swapped.tvf bs=16 skip=$(($2 / 16)) seek=$(($1 / 16)) count=1 \
        conv=notrunc status=none
}
swap_blocks 4096 8192
refused "two blocks of one chunk swapped" swapped.tvf
swap_blocks 16 $((524288 + 32))
refused "blocks of two chunks swapped" swapped.tvf

# The info block cut short: 16 bytes taken from before the trailer, or the tag's 64.
for cut in 16 64; do
    head -c $((info_end - cut)) sealed.tvf >cut.tvf
    tail -c 32 sealed.tvf >>cut.tvf
    refused "info block cut by $cut" cut.tvf
done

# Untouched it opens, verified, and every byte comes back.
fresh_destination
"$sfxtool" extract -p pw -d dest sealed.tvf >out.txt 2>&1
check "the sealed archive extracts" 0 $?
expect "extract says verified" grep -q 'verified$' out.txt
expect "it replaced the file that was there" cmp -s in/a.txt dest/in/a.txt
expect "every byte" cmp -s in/big.bin dest/in/big.bin
"$sfxtool" test -p pw sealed.tvf >out.txt 2>&1
check "test passes" 0 $?
expect "test says verified" grep -q 'all readable, verified$' out.txt
"$sfxtool" list -v -p pw sealed.tvf >out.txt 2>&1
check "list -v" 0 $?
expect "list -v says verified" grep -qx 'integrity: verified' out.txt

# Archives written before the record existed (the fixtures, by the previous writer): they open
# as before, not verified, and --no-integrity writes them again byte for byte.
bash "$fixtures/make_inputs.sh" classic
(
    cd classic || exit 1
    "$sfxtool" create --plain --no-integrity --classic-key -p pw -o again.tvf in >/dev/null 2>&1 &&
        "$sfxtool" create --plain --no-integrity --no-password -o again-open.tvf in \
            >/dev/null 2>&1
)
check "--no-integrity create" 0 $?
expect "--no-integrity writes the classic bytes" cmp -s classic/again.tvf "$fixtures/classic.tvf"
expect "--no-integrity writes the classic bytes, no password" \
    cmp -s classic/again-open.tvf "$fixtures/classic-open.tvf"
# Nothing vouches for them: refused unless the user says to go on, with a line that -q keeps.
rm -rf old
"$sfxtool" test -q -p pw "$fixtures/classic.tvf" >out.txt 2>err.txt
check "an older archive is refused by test" 6 $?
expect "... saying why, even with -q" grep -q 'not verified (no integrity record).*--allow-unverified' err.txt
"$sfxtool" extract -q -p pw -d old "$fixtures/classic.tvf" >/dev/null 2>err.txt
check "an older archive is refused by extract" 6 $?
expect "... saying why" grep -q 'not verified (no integrity record)' err.txt
expect "... having written nothing" test ! -e old
"$sfxtool" test --allow-unverified -p pw "$fixtures/classic.tvf" >out.txt 2>&1
check "an older archive passes test when allowed" 0 $?
expect "... not verified" grep -q 'not verified (no integrity record)$' out.txt
"$sfxtool" extract -q --allow-unverified -p pw -d old "$fixtures/classic.tvf" >/dev/null 2>err.txt
check "an older archive extracts when allowed" 0 $?
expect "... every byte" diff -r classic/in old/in
expect "... and -q still says it was not checked" grep -q 'not verified (no integrity record)' err.txt
"$sfxtool" list -v --no-password "$fixtures/classic-open.tvf" >out.txt 2>err.txt
check "an older archive without a password lists" 0 $?
expect "... saying its names are not checked" grep -q 'names not verified (no integrity record)' err.txt
expect "... not verified" grep -qx 'integrity: not verified (no integrity record)' out.txt

# Without a password the record is a plain digest: damage is caught, and the words say that a
# deliberate change would not be.
"$sfxtool" create --plain --no-password -o open.tvf in >/dev/null 2>&1
"$sfxtool" test --no-password open.tvf >out.txt 2>&1
check "no password: test" 0 $?
expect "no password: says what it catches" grep -q 'verified (no password: damage is caught' out.txt
cp open.tvf flipped.tvf
printf 'Z' | dd of=flipped.tvf bs=1 seek=700000 conv=notrunc status=none
"$sfxtool" test -q --no-password flipped.tvf >/dev/null 2>&1
check "no password: damage caught" 2 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
