#!/usr/bin/env bash
# Signed self-extracting archives through sfxtool: create signs with osslsigncode and keeps an
# archive only when it verifies and still reads; every way signing can fail leaves nothing
# behind; and the signed archives of make-signed-fixtures.sh read (or, until the readers find a
# payload in front of a certificate table, fail exactly as before: QUILLON_READS_SIGNED_IMAGES).
#   signing.sh native|win32 FIXTURES EXTRACTOR TOOL [ARGS...]
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
show_err_on_fail=1
platform=$1
fixtures=$2
extractor=$3
shift 3
tool=("$@")
reads_signed=${QUILLON_READS_SIGNED_IMAGES:-0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
run() { "${tool[@]}" "$@" </dev/null >out.txt 2>err.txt; }

# Only what a test put there on purpose: no archive, no temporary beside it.
only() {  # only FILE... (the folder's files must be exactly these)
    [ "$(ls -A | sort | tr '\n' ' ')" = "$(printf '%s\n' "$@" | sort | tr '\n' ' ')" ]
}

verifies() { osslsigncode verify -CAfile signer.pem -in "$1" >/dev/null 2>&1; }

# Reading a signed archive: with the readers taught, as any archive; until then the payload is
# not found and the trailer's place holds certificate bytes, told as a wrong password (without
# a key those bytes may also read as damage).
reads_signed() {  # reads_signed NAME ARCHIVE PASSWORD-OPTION...
    local name=$1 archive=$2
    shift 2
    rm -rf x
    run extract "$archive" -d x "$@"
    local status=$?
    if [ "$reads_signed" = 1 ]; then
        check "$name: extracts" 0 $status
        expect "$name: files as stored" diff -r "$stored" x
        run test "$archive" -p 'not it'
        check "$name: wrong password still told apart" 1 $?
    elif [ "$1" = --no-password ]; then
        expect "$name: not read before the readers learn signatures" test $status -ne 0
    else
        check "$name: read as before the readers learn signatures" 1 $status
        expect "$name: the message of a wrong password" \
            grep -q 'The password you entered is incorrect!' err.txt
    fi
    rm -rf x
}

cp "$fixtures"/signer.* "$fixtures"/*.exe . || exit 1
cp -r "$fixtures/content" content || exit 1
stored=$PWD/content

# The fixtures as made by the generator, read through this build's sfxtool.
run list unsigned.exe -p 'fixture pass'; check "unsigned archive lists" 0 $?
# Stored names are shown with the separator of the system the tool runs on.
sep=/
[ "$platform" = win32 ] && sep='\'
expect "lists its names" grep -qF "sub${sep}noise.bin" out.txt
for name in signed signed-odd signed-twice resigned-odd; do
    reads_signed "fixture $name.exe" "$name.exe" -p 'fixture pass'
done

if [ "$platform" = win32 ]; then
    run create -p x --sign-cert signer.pem --sign-key signer.key -o w.exe content/a.txt
    check "the Windows build does not sign" 64 $?
    expect "says where signing is" grep -q 'signing is available in the Linux build' err.txt
    expect "nothing written" test ! -e w.exe
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
    exit
fi

mkdir out
cd out || exit 1
cp ../signer.* .

# Signed with a certificate and its key: it verifies, and nothing else is left.
names=(-C ../content a.txt sub empty)
run create -p 'pw one' --sign-cert signer.pem --sign-key signer.key -o s.exe "${names[@]}"
check "create and sign" 0 $?
expect "says it created the archive" grep -q 'created s.exe' out.txt
expect "the signature verifies" verifies s.exe
expect "no temporary left" only signer.key signer.p12 signer.pem s.exe out.txt err.txt
reads_signed "signed by sfxtool" s.exe -p 'pw one'
# Signed again by hand: the certificate table is replaced and the archive still reads.
osslsigncode sign -h sha256 -certs signer.pem -key signer.key -in s.exe -out s2.exe >/dev/null
expect "signed twice verifies" verifies s2.exe
reads_signed "signed twice" s2.exe -p 'pw one'

# A key under a password, and a PKCS#12 file: the password reaches osslsigncode.
openssl rsa -in signer.key -aes256 -passout 'pass:key pass' -out locked.key 2>/dev/null
run create --no-password --sign-cert signer.pem --sign-key locked.key --sign-pass 'key pass' \
    -o k.exe "${names[@]}"
check "sign with a locked key" 0 $?
expect "locked key signature verifies" verifies k.exe
run create -p x --sign-pkcs12 signer.p12 --sign-pass 'p12 pass' -o p.exe "${names[@]}"
check "sign with a PKCS#12 file" 0 $?
expect "PKCS#12 signature verifies" verifies p.exe
reads_signed "signed without encryption" k.exe --no-password

# Behind an extractor of odd size: the archive's end is not 8-aligned, so the signing tool pads
# it with zeros before its table; the archive is kept, verifies, and the padding is skipped
# when read.
cp "$extractor" odd.bin
printf 'odd' >>odd.bin
run create -p 'pw two' --stub odd.bin --sign-cert signer.pem --sign-key signer.key -o o.exe \
    "${names[@]}"
check "sign behind an odd-sized extractor" 0 $?
expect "odd one verifies" verifies o.exe
# The certificate table's offset, from the security directory of the PE32 header.
u32_at() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
table=$(u32_at o.exe $(($(u32_at o.exe 60) + 152)))
# The payload is whole cipher blocks, so the archive ends where the extractor's size puts it.
pad=$(((8 - $(stat -c %s odd.bin) % 8) % 8))
payload_end=$((table - pad))
expect "an extractor of odd size needs padding" test $pad -gt 0
expect "the table starts 8-aligned" test $((table % 8)) -eq 0
expect "right after the padding's zero bytes" \
    test "$(od -An -tx1 -j $payload_end -N$pad o.exe | tr -d ' \n' | tr -d 0)" = ""
expect "which follow the payload (whole blocks behind the extractor)" \
    test $(((payload_end - $(stat -c %s odd.bin)) % 16)) -eq 0
reads_signed "signed behind an odd extractor" o.exe -p 'pw two'
rm -f odd.bin

# Failures: each leaves no archive and no temporary, and what was at the output stays.
printf 'keep me' >keep.exe
fails() {  # fails NAME STATUS MESSAGE ARGS...
    local name=$1 status=$2 message=$3
    shift 3
    "$@" </dev/null >out.txt 2>err.txt
    check "$name" "$status" $?
    expect "$name: says why" grep -q "$message" err.txt
    expect "$name: the old file stays" test "$(cat keep.exe)" = 'keep me'
    expect "$name: no temporary left" test -z "$(ls -A | grep -Ev '^(keep.exe|out.txt|err.txt|locked.key|signer\..*|[skpo]2?\.exe|x)$')"
}
sign_args=(--sign-cert signer.pem --sign-key signer.key -o keep.exe ../content/a.txt)
fails "wrong key password" 5 'osslsigncode could not sign' \
    "${tool[@]}" create -p x --sign-cert signer.pem --sign-key locked.key --sign-pass nope \
    -o keep.exe ../content/a.txt
fails "timestamp server unreachable" 5 'osslsigncode could not sign' \
    "${tool[@]}" create -p x "${sign_args[@]}" --sign-timestamp http://127.0.0.1:9/
fails "osslsigncode missing" 5 'cannot start osslsigncode' \
    env PATH=/nonexistent "${tool[@]}" create -p x "${sign_args[@]}"

# A signing tool that reports success but damages the archive: the read-back catches it. One
# leaves the table off, one changes the trailer's last byte.
mkdir ../fake
cat >../fake/osslsigncode <<'EOF'
#!/usr/bin/env bash
while [ $# -gt 0 ]; do
    case $1 in -in) in=$2; shift ;; -out) out=$2; shift ;; esac
    shift
done
if [ "$FAKE" = unsigned ]; then cp "$in" "$out"; exit 0; fi
PATH=$REAL_PATH osslsigncode sign -h sha256 -certs signer.pem -key signer.key -in "$in" \
    -out "$out" >/dev/null || exit 1
printf '\x55' | dd of="$out" bs=1 seek=$(($(stat -c %s "$in") - 1)) conv=notrunc 2>/dev/null
EOF
chmod +x ../fake/osslsigncode
fails "signing left no table" 5 'carries no certificate table' \
    env FAKE=unsigned PATH="$PWD/../fake:$PATH" "${tool[@]}" create -p x "${sign_args[@]}"
fails "signing damaged the trailer" 5 'no longer reads' \
    env FAKE=damage REAL_PATH="$PATH" PATH="$PWD/../fake:$PATH" "${tool[@]}" create -p x \
    "${sign_args[@]}"

# Options that cannot work are refused before anything is written.
usage() {  # usage NAME MESSAGE ARGS...
    local name=$1 message=$2
    shift 2
    run create -p x "$@" -o u.exe ../content/a.txt
    check "$name" 64 $?
    expect "$name: says why" grep -q -- "$message" err.txt
    expect "$name: nothing written" test ! -e u.exe
}
usage "a .tvf cannot be signed" 'a .tvf archive cannot be signed' --plain \
    --sign-cert signer.pem --sign-key signer.key
usage "certificate without key" '--sign-cert and --sign-key go together' --sign-cert signer.pem
usage "key without certificate" '--sign-cert and --sign-key go together' --sign-key signer.key
usage "PKCS#12 and a key" 'give either' --sign-pkcs12 signer.p12 --sign-key signer.key
usage "a password alone" 'go with --sign-cert or --sign-pkcs12' --sign-pass x
usage "a timestamp alone" 'go with --sign-cert or --sign-pkcs12' --sign-timestamp http://x/
run extract s.exe --sign-cert signer.pem; check "signing options only go with create" 64 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
