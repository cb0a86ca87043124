#!/usr/bin/env bash
# Makes the signed archives other tests read, fresh each run: a throwaway self-signed
# code-signing certificate, archives made by sfxtool around the given extractor, and copies
# signed with osslsigncode the ways people sign them. Everything is made here; nothing signed
# is kept in the repository.
#   make-signed-fixtures.sh OUTDIR EXTRACTOR TOOL [ARGS...]
# In OUTDIR, all under the password "fixture pass", holding content/ (a.txt, sub/noise.bin,
# empty):
#   unsigned.exe      the extractor (a multiple of 8 bytes long) and the payload, classic key
#   signed.exe        unsigned.exe signed: no padding needed, the table right after the trailer
#   signed-twice.exe  signed.exe signed again: the table replaced
#   unsigned-odd.exe  behind the extractor with 3 bytes appended, so the file is not 8-aligned;
#                     a hardened key, so its key block ends the payload
#   signed-odd.exe    unsigned-odd.exe signed: 5 zero bytes of padding before the table
#   removed-odd.exe   signed-odd.exe with the signature removed (the padding stays)
#   resigned-odd.exe  removed-odd.exe signed again
#   signer.pem, signer.key, signer.p12 (password "p12 pass")
set -u
out=$1
extractor=$2
shift 2
tool=("$@")

fail() {
    echo "make-signed-fixtures: $*" >&2
    exit 1
}

for program in openssl osslsigncode; do
    command -v "$program" >/dev/null || fail "$program is not installed (scripts/bootstrap)"
done
rm -rf "$out"
mkdir -p "$out/content/sub" || fail "cannot make $out"
cd "$out" || exit 1

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 \
    -subj "/CN=Quillon throwaway test signer" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=digitalSignature" >/dev/null 2>&1 || fail "no certificate"
openssl pkcs12 -export -in signer.pem -inkey signer.key -passout 'pass:p12 pass' \
    -out signer.p12 >/dev/null 2>&1 || fail "no PKCS#12 file"

printf 'A text file\r\nwith two lines\r\n' >content/a.txt
head -c 70001 /dev/urandom >content/sub/noise.bin
: >content/empty
# The tool may run under Wine, which sees relative paths best.
cp "$extractor" extractor.exe || fail "no extractor at $extractor"
cp extractor.exe extractor-odd.exe
printf 'odd' >>extractor-odd.exe
make_archive() {  # make_archive EXTRACTOR OUTPUT [--classic-key]
    "${tool[@]}" create --stub "$1" -p 'fixture pass' -o "$2" "${@:3}" -C content a.txt sub empty \
        </dev/null >/dev/null || fail "sfxtool could not make $2"
}
make_archive extractor.exe unsigned.exe --classic-key
make_archive extractor-odd.exe unsigned-odd.exe

sign() {  # sign IN OUT
    osslsigncode sign -h sha256 -certs signer.pem -key signer.key -in "$1" -out "$2" \
        >/dev/null || fail "osslsigncode could not sign $1"
    osslsigncode verify -CAfile signer.pem -in "$2" >/dev/null 2>&1 ||
        fail "the signature of $2 does not verify"
}
sign unsigned.exe signed.exe
sign signed.exe signed-twice.exe
sign unsigned-odd.exe signed-odd.exe
osslsigncode remove-signature -in signed-odd.exe -out removed-odd.exe >/dev/null ||
    fail "osslsigncode could not remove the signature"
sign removed-odd.exe resigned-odd.exe
rm -f extractor.exe extractor-odd.exe
echo "signed archives made in $out"
