#!/usr/bin/env bash
# sfxtool against archives and inputs that would hurt a careless reader or writer: forged counts
# and sparse info blocks that must not make it ask for memory, a table of 200,000 files that must
# list in little memory, and create's refusals (an unreadable input, an output that is an input,
# names Windows takes for one file). Native only: it measures the process's peak memory.
#   hostile_archives.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
forge=("python3" "$here/../support/forge_archive.py")
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
# Runs sfxtool, keeping its exit status in $status and its peak memory (KiB) in $peak.
measure() {
    /usr/bin/time -f '%M' -o peak.txt "$tool" "$@" </dev/null >out.txt 2>err.txt
    status=$?
    peak=$(tail -n 1 peak.txt)
}

# A sparse info block of 12 MiB claiming a million records: refused after the first record,
# in the memory of an empty run (a table sized by the count would take over 500 MiB).
"${forge[@]}" claim claim.tvf 1048576 12582912
measure list claim.tvf --no-password
expect "a forged count is corrupt" test "$status" = 2
expect "a forged count costs no memory (peak ${peak} KiB)" test "$peak" -lt 16384
echo "peak memory: 12 MiB sparse block claiming 1,048,576 records: ${peak} KiB"

# The largest info block there can be, all zeros, claiming 300 million records.
"${forge[@]}" claim huge.tvf 300000000 4294967280
measure list huge.tvf --no-password
expect "a 4 GiB forged block is corrupt" test "$status" = 2
expect "a 4 GiB forged block costs no memory (peak ${peak} KiB)" test "$peak" -lt 16384
echo "peak memory: 4 GiB sparse block claiming 300,000,000 records: ${peak} KiB"

# Two real records and a count of five: the block ends before the count does.
"${forge[@]}" short short.tvf 5
measure list short.tvf --no-password
expect "records that stop before the count are corrupt" test "$status" = 2

# 200,000 files list in well under 64 MiB.
"${forge[@]}" many many.tvf 200000
measure list many.tvf --no-password
expect "200,000 files list" test "$status" = 0
expect "all 200,000 are listed" test "$(wc -l <out.txt)" = 200000
expect "200,000 files list in under 64 MiB (peak ${peak} KiB)" test "$peak" -lt 65536
echo "peak memory: listing 200,000 files: ${peak} KiB"

# create: every listed file or no archive, and never over one of its own inputs.
mkdir in
printf 'a' >in/a.txt
printf 'b' >in/b.txt
"$tool" create --plain --no-password -o in.tvf in/a.txt in/b.txt >/dev/null 2>&1
expect "create works" test -s in.tvf
printf 'keep' >in/a.txt
"$tool" create --plain --no-password -o in/a.txt in/a.txt in/b.txt >/dev/null 2>err.txt
expect "an output that is an input is a usage error" test $? = 64
expect "the input stays" test "$(cat in/a.txt)" = keep
expect "and no temporary is left" test "$(ls in | wc -l)" = 2

mkdir case
printf '1' >case/D.txt
printf '2' >case/d.TXT
printf '3' >"case/$(printf '\xc3\x84').txt"
printf '4' >"case/$(printf '\xc3\xa4').txt"
"$tool" create --plain --no-password -o case.tvf case/D.txt case/d.TXT >/dev/null 2>err.txt
expect "names equal but for case are refused" test $? = 64
expect "naming both" grep -q "D.txt' and 'case.d.TXT'" err.txt
"$tool" create --plain --no-password -o case2.tvf "case/$(printf '\xc3\x84').txt" \
    "case/$(printf '\xc3\xa4').txt" >/dev/null 2>&1
expect "non-ASCII names equal but for case are refused" test $? = 64
expect "and no archive is written" test ! -e case.tvf -a ! -e case2.tvf

# Names a Linux file may have but no Windows file can: create refuses them before anything is
# written, in the words it uses for a name ending in a dot; an archive forged to hold one is
# corrupt to list, test and extract alike, and extracting it writes nothing, not even the
# plain file stored before it.
mkdir odd
for name in 'what?.txt' '*' 'a<b' 'a>b' 'a|b' '"quoted"' 'dot.'; do
    printf 'x' >"odd/$name"
    "$tool" create --plain --no-password -o odd.tvf -C odd "$name" >/dev/null 2>err.txt
    expect "create refuses '$name'" test $? = 64
    expect "saying why for '$name'" \
        grep -qF "'$name' cannot be stored: the name is not one every system can extract" err.txt
    expect "and writes no archive for '$name'" test ! -e odd.tvf
    "${forge[@]}" named odd.tvf 'fine.txt' "sub\\$name"
    "$tool" list odd.tvf --no-password >/dev/null 2>&1
    expect "list calls a stored '$name' corrupt" test $? = 2
    "$tool" test odd.tvf --no-password --allow-unverified >/dev/null 2>&1
    expect "test calls a stored '$name' corrupt" test $? = 2
    "$tool" extract odd.tvf -d odd-out --no-password --allow-unverified >/dev/null 2>&1
    expect "extract calls a stored '$name' corrupt" test $? = 2
    expect "and writes nothing" test ! -e odd-out
    rm -f odd.tvf
done
# The same forged archive with a name Windows holds extracts: the refusals above are the names'.
"${forge[@]}" named odd.tvf 'fine.txt' 'sub\a#b'
"$tool" extract odd.tvf -d odd-out --no-password --allow-unverified >/dev/null 2>err.txt
expect "a forged archive of plain names extracts" test $? = 0
expect "with both files" test "$(cat odd-out/fine.txt odd-out/sub/a#b)" = 'fine.txtsub\a#b'

# Names holding a character that draws nothing or turns the text around: with a right-to-left
# override, "Invoice_2024<U+202E>fdp.exe" reads as "Invoice_2024exe.pdf". create refuses to store
# one, named directly or found in a folder, before anything is written; an archive forged to hold
# such names (older archives may) still lists and extracts, but every name is shown with the
# character written out, a lone surrogate too, and the raw character never reaches the terminal.
rlo=$(printf '\xe2\x80\xae')
mkdir shady
printf 'x' >"shady/Invoice_2024${rlo}fdp.exe"
"$tool" create --plain --no-password -o shady.tvf -C shady "Invoice_2024${rlo}fdp.exe" \
    >/dev/null 2>err.txt
expect "create refuses a name with a right-to-left override" test $? = 64
expect "naming it written out, and the character" grep -qxF "sfxtool: 'Invoice_2024<U+202E>fdp.exe' cannot be stored: the name holds an invisible formatting character (U+202E)" err.txt
"$tool" create --plain --no-password -o shady.tvf shady >/dev/null 2>err.txt
expect "create refuses it found in a folder" test $? = 64
expect "naming it in its folder" grep -qF "'shady/Invoice_2024<U+202E>fdp.exe' cannot be stored" err.txt
expect "and writes no archive" test ! -e shady.tvf
printf 'y' >"shady/soft$(printf '\xc2\xad')hyphen.txt"
rm "shady/Invoice_2024${rlo}fdp.exe"
"$tool" create --plain --no-password -o shady.tvf shady >/dev/null 2>err.txt
expect "create refuses a soft hyphen" grep -qF "(U+00AD)" err.txt
"${forge[@]}" escaped shady.tvf 'fine.txt' 'Invoice_2024\u202efdp.exe' 'sub\\tag\U000e0041' \
    'lone\udc80' 'zero\u200bwidth'
"$tool" list shady.tvf --no-password >out.txt 2>err.txt
expect "list opens an archive holding such names" test $? = 0
expect "and shows each written out" test "$(tr '\n' ' ' <out.txt)" = \
    'fine.txt Invoice_2024<U+202E>fdp.exe sub/tag<U+E0041> lone<U+DC80> zero<U+200B>width '
expect "never the raw override" not_found "$rlo" out.txt
"${forge[@]}" named shady2.tvf 'fine.txt' "Invoice_2024${rlo}fdp.exe"
"$tool" extract shady2.tvf -d shady-out --no-password --allow-unverified >/dev/null 2>&1
expect "extract writes the file under its stored name" \
    test "$(cat "shady-out/Invoice_2024${rlo}fdp.exe")" = "Invoice_2024${rlo}fdp.exe"
rm "shady-out/Invoice_2024${rlo}fdp.exe"
mkdir -p "shady-out/Invoice_2024${rlo}fdp.exe/in-the-way"
"$tool" extract shady2.tvf -d shady-out --no-password --allow-unverified \
    >/dev/null 2>err.txt
expect "a message about the file names it written out too" \
    grep -qF "shady-out/Invoice_2024<U+202E>fdp.exe" err.txt

# Unreadable inputs need a user the file permissions apply to (root reads everything).
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    mkdir locked out
    printf 'x' >locked/readable
    printf 'y' >locked/secret
    chmod 000 locked/secret
    chmod 777 out .
    chmod 755 locked
    "${as_user[@]}" "$tool" create --plain --no-password -o out/one.tvf locked/readable \
        locked/secret >/dev/null 2>err.txt
    expect "an unreadable input fails create" test $? = 2
    expect "naming the file and the reason" grep -q "locked.secret: Permission denied" err.txt
    "${as_user[@]}" "$tool" create --plain --no-password -o out/none.tvf locked/secret \
        >/dev/null 2>&1
    expect "no readable input fails create" test $? = 2
    expect "and leaves nothing behind" test -z "$(ls out)"
    # Extracting into a folder the user may not write names the file and the reason.
    "$tool" create --plain --no-password -o out/x.tvf in/b.txt >/dev/null 2>&1
    mkdir ro
    chmod 555 ro
    "${as_user[@]}" "$tool" extract out/x.tvf -d ro --no-password >/dev/null 2>err.txt
    expect "an unwritable destination is a write error" test $? = 4
    expect "naming the file and the reason" grep -q "Permission denied" err.txt
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
