#!/usr/bin/env bash
# Archives made by sfxtool, opened by the reference reader (written from the format's
# description alone): every name, size and byte must come back, signed archives too, read as a
# reader that knows nothing of the integrity record reads them (exactly `count` records) and
# with the record checked. Archives made with --no-integrity are the classic image: the record's
# codec (integrity_stamp) turns them into exactly what the writer makes by default. A changed
# bit anywhere after the stub makes the check fail.
#   reference_reader_e2e.sh SFXTOOL INTEGRITY_STAMP
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sfxtool=$(realpath "$1")
stamp=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
reader="python3 $here/reference_reader.py"
reader_python="env PYTHONPATH=$here python3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# Inputs: text, empty files (one alone in a folder), data across several 512 KiB chunks, and
# names beyond ASCII, some beyond Windows-1252.
e=$(printf '\xc3\xa9')
mkdir -p in/sub/deeper "in/r${e}sum${e}" in/hollow "in/$(printf '\xe6\x97\xa5\xe6\x9c\xac')"
printf 'hello\n' >in/a.txt
: >in/empty
: >in/hollow/nothing
head -c 1300000 /dev/urandom >in/sub/deeper/big.bin
printf 'caf\xc3\xa9' >"in/r${e}sum${e}/x.txt"
printf '%s' "$(seq 1 2000)" >"in/$(printf '\xe2\x82\xac')uro.txt"
printf 'nihon' >"in/$(printf '\xe6\x97\xa5\xe6\x9c\xac')/$(printf '\xe8\xaa\x9e').txt"

# What a listing must show: size, a tab, the stored name (backslashes), sorted.
(cd . && find in -type f -printf '%s\t%p\n' | sed 's|/|\\|g' | LC_ALL=C sort) >expected.txt

password_args() {  # the reader's password options for "pw" ("-" for none)
    if [ "$1" = - ]; then echo --no-password; else echo "--password=$1"; fi
}

opens_exactly() {  # opens_exactly LABEL ARCHIVE PW [READER-OPTION...]
    local label=$1 archive=$2 pw=$3
    shift 3
    local opts
    opts=$(password_args "$pw")
    $reader list "$archive" "$opts" "$@" >list.txt 2>err.txt
    check "$label: list" 0 $?
    grep -v '^integrity: ' list.txt | LC_ALL=C sort >listed.txt
    expect "$label: names and sizes" cmp -s expected.txt listed.txt
    rm -rf out
    $reader extract "$archive" out "$opts" "$@" >/dev/null 2>err.txt
    check "$label: extract" 0 $?
    expect "$label: every byte" diff -r in out/in
}

make_archive() {  # make_archive NAME PW SFXTOOL-OPTION... (also nometa-NAME, classic-NAME)
    local name=$1 pw=$2 key
    shift 2
    if [ "$pw" = - ]; then key=(--no-password); else key=(--classic-key -p "$pw"); fi
    # The default, with the metadata record; without it (the previous release's record); and
    # without any record.
    "$sfxtool" create "$@" "${key[@]}" -o "$name" in </dev/null >/dev/null 2>&1 &&
        "$sfxtool" create "$@" --no-metadata "${key[@]}" -o "nometa-$name" in \
            </dev/null >/dev/null 2>&1 &&
        "$sfxtool" create "$@" --no-integrity "${key[@]}" -o "classic-$name" in \
            </dev/null >/dev/null 2>&1
    check "sfxtool makes $name" 0 $?
}

# Name, password ("-" for none), and how sfxtool makes it.
archives=(
    "plain.tvf|pass word|--plain"
    "self.exe|pass word|"
    "open.tvf|-|--plain"
    "accents.tvf|Gr$(printf '\xc3\xbc\xc3\x9f')e $(printf '\xe2\x82\xac')5|--plain"
)

for entry in "${archives[@]}"; do
    IFS='|' read -r name pw how <<<"$entry"
    # shellcheck disable=SC2086
    make_archive "$name" "$pw" $how
    # As a reader that stops after the records reads it, then with the record checked. The
    # metadata record is after the records, so such a reader reads every file exactly; its own
    # check knows the records up to version 2 and says the default archive's is a later one.
    opens_exactly "$name" "$name" "$pw"
    $reader list "$name" "$(password_args "$pw")" --check-integrity >out.txt 2>&1
    check "$name: a record of a later version, not verified" 3 $?
    expect "$name: says version 3" grep -q 'integrity record of version 3' out.txt
    opens_exactly "nometa-$name" "nometa-$name" "$pw"
    opens_exactly "nometa-$name, checked" "nometa-$name" "$pw" --check-integrity
    expect "nometa-$name: verified" grep -q '^integrity: verified' list.txt

    opens_exactly "classic-$name" "classic-$name" "$pw"
    $reader list "classic-$name" "$(password_args "$pw")" --check-integrity >out.txt 2>&1
    check "classic-$name: no record, not verified" 3 $?
    expect "classic-$name: says so" grep -q 'not verified (no integrity record)' out.txt

    # The record's codec on the classic image gives the writer's own bytes.
    if [ "$pw" = - ]; then
        "$stamp" "classic-$name" "stamped-$name"
    else
        "$stamp" "classic-$name" "stamped-$name" "$pw"
    fi
    check "classic-$name: stamped" 0 $?
    expect "nometa-$name: the stamped classic archive is the written one" \
        cmp -s "nometa-$name" "stamped-$name"
done

expect "the .exe carries the extractor in front" test "$(head -c 2 self.exe)" = MZ
$reader list plain.tvf --password='not it' >/dev/null 2>&1; check "wrong password" 1 $?
$reader list open.tvf --password=any >/dev/null 2>&1; check "keyless archive read with a key" 1 $?
head -c 100 plain.tvf >short.tvf; tail -c +102 plain.tvf >>short.tvf
$reader list short.tvf --password='pass word' >/dev/null 2>&1; check "a byte cut out" 2 $?

stub_size=$(($(stat -c %s self.exe) - $(stat -c %s plain.tvf)))

# One changed bit at spots spread over data stream, info block and trailer (never the stub,
# which the record does not cover): the check fails every time, as a wrong password when the
# bit lands on the check value's chain, as corrupt otherwise.
flip_fails() {  # flip_fails ARCHIVE PW STUB-SIZE SPOTS
    local archive=$1 pw=$2 stub=$3 spots=$4
    local size offset byte copies=()
    size=$(stat -c %s "$archive")
    rm -rf flips
    mkdir flips
    for ((k = 0; k < spots; k++)); do
        offset=$((stub + (size - stub - 1) * k / (spots - 1)))
        cp "$archive" "flips/bit$((k % 8))-at-$offset"
        byte=$(od -An -tu1 -j "$offset" -N1 "$archive")
        printf "\\$(printf '%03o' $((byte ^ (1 << (k % 8)))))" |
            dd of="flips/bit$((k % 8))-at-$offset" bs=1 seek="$offset" conv=notrunc status=none
        copies+=("flips/bit$((k % 8))-at-$offset")
    done
    # One Python for all copies (its start is most of the cost): the reader's own entry point
    # on each, and the copies whose check did not fail, which must be none.
    $reader_python - "$(password_args "$pw")" "${copies[@]}" >missed.txt 2>/dev/null <<'PY'
import contextlib, io, sys
import reference_reader
for copy in sys.argv[2:]:
    with contextlib.redirect_stdout(io.TextIOWrapper(io.BytesIO())):
        status = reference_reader.main(["list", copy, sys.argv[1], "--check-integrity"])
    if status not in (1, 2):
        print("%s: exit status %d" % (copy, status))
PY
    check "$archive: checked $spots changed bits" 0 $?
    expect "$archive: every changed bit caught" test ! -s missed.txt
    cat missed.txt
}

# (On the archives whose record this reader verifies.)
flip_fails nometa-plain.tvf 'pass word' 0 40
flip_fails nometa-self.exe 'pass word' "$stub_size" 12
flip_fails nometa-open.tvf - 0 12

# Signed: the certificate table after the archive, and behind a stub of odd size the zero bytes
# before it, are not the archive's; the reader finds its end before them and the record still
# verifies.
openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
    -subj "/CN=Quillon throwaway test signer" -addext "extendedKeyUsage=codeSigning" \
    >/dev/null 2>&1
check "a throwaway signing certificate" 0 $?
head -c "$stub_size" self.exe >odd-stub.exe
printf 'odd' >>odd-stub.exe
make_archive odd.exe 'pass word' --stub odd-stub.exe
for name in self odd; do
    osslsigncode sign -h sha256 -certs signer.pem -key signer.key -in "nometa-$name.exe" \
        -out "signed-$name.exe" >/dev/null 2>&1
    check "$name.exe: signed" 0 $?
    opens_exactly "signed-$name.exe" "signed-$name.exe" 'pass word' --check-integrity
    expect "signed-$name.exe: verified" grep -q '^integrity: verified' list.txt
done
expect "the odd stub's archive has padding before its table" \
    test $(($(stat -c %s nometa-odd.exe) % 8)) -ne 0

# A bit flipped inside the stub changes nothing a reader uses: still verified.
cp nometa-self.exe stub-flip.exe
printf 'X' | dd of=stub-flip.exe bs=1 seek=200 conv=notrunc status=none
$reader list stub-flip.exe --password='pass word' --check-integrity >/dev/null 2>&1
check "a changed stub is not the record's to catch" 0 $?

# A hardened archive (our default): a reader of the classic format takes its clear key block for
# the trailer and says wrong password (exit 1), writing nothing, never crashing.
for kind in tvf exe; do
    plain=""
    [ "$kind" = tvf ] && plain=--plain
    "$sfxtool" create $plain -p 'pass word' -o "hardened.$kind" in </dev/null >/dev/null 2>&1
    check "hardened.$kind: create" 0 $?
    $reader extract "hardened.$kind" hardened-out --password='pass word' >out.txt 2>&1
    check "hardened.$kind: the classic reader refuses it" 1 $?
    expect "hardened.$kind: says wrong password" grep -q 'wrong password' out.txt
    expect "hardened.$kind: nothing written" test ! -e hardened-out
    "$sfxtool" test -p 'pass word' "hardened.$kind" >/dev/null 2>&1
    check "hardened.$kind: our reader opens it" 0 $?
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
