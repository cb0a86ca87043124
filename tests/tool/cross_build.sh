#!/usr/bin/env bash
# The same inputs and password give byte-identical archives from the native and the Windows
# build with the classic key, so either side opens what the other wrote; hardened archives
# (another salt each time) made on either side open on the other, under a password whose
# UTF-8 both must form alike.
#   cross_build.sh NATIVE-TOOL WINE-RUN WINDOWS-TOOL
set -u
native=$1
windows=("$2" "$3")
if [ ! -x "$native" ]; then
    echo "native sfxtool not built ($native): skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p in/sub
head -c 1048593 /dev/urandom >in/sub/odd.bin
printf 'x' >in/one
printf 'latin' >"in/sub/r$(printf '\303\251')sum$(printf '\303\251')"
: >in/zero
printf 'MZ extractor bytes' >stub.bin
fail=0
pw=$'Gr\303\274\303\237e'
for args in "--classic-key --plain -o X.tvf" "--classic-key --stub stub.bin -o X.exe"; do
    # shellcheck disable=SC2086
    "$native" create $args -p "$pw" in </dev/null >/dev/null || fail=1
    out=$(echo "$args" | sed 's/.*-o //')
    mv "$out" "native-$out"
    # shellcheck disable=SC2086
    "${windows[@]}" create $args -p "$pw" in </dev/null >/dev/null || fail=1
    mv "$out" "windows-$out"
    cmp "native-$out" "windows-$out" || fail=1
done
# On the Windows 98 family the writer opens its files through the ANSI calls: the same bytes.
cp "$3" sfxtool98.exe
"$2" reg add 'HKCU\Software\Wine\AppDefaults\sfxtool98.exe' /v Version /d win98 /f >/dev/null 2>&1
"$2" "$PWD/sfxtool98.exe" create --classic-key --plain -o X98.tvf -p "$pw" in </dev/null >/dev/null || fail=1
cmp native-X.tvf X98.tvf || fail=1
# And each opens the other's.
"$native" extract windows-X.exe -d n -p "$pw" </dev/null >/dev/null || fail=1
"${windows[@]}" extract native-X.tvf -d w -p "$pw" </dev/null >/dev/null || fail=1
diff -r in n/in >/dev/null && diff -r in w/in >/dev/null || fail=1
# Hardened: made natively, opened by the Windows build, and the other way round.
"$native" create --plain -o H.tvf -p "$pw" in </dev/null >/dev/null || fail=1
"$native" create --stub stub.bin -o H.exe -p "$pw" in </dev/null >/dev/null || fail=1
"${windows[@]}" create --plain -o HW.tvf -p "$pw" in </dev/null >/dev/null || fail=1
"$native" list -v -p "$pw" HW.tvf </dev/null 2>/dev/null | grep -qx 'key: Argon2id, 64 MiB, 3 passes, 4 lanes' || fail=1
"${windows[@]}" extract H.tvf -d hw -p "$pw" </dev/null >/dev/null || fail=1
"${windows[@]}" extract H.exe -d hwx -p "$pw" </dev/null >/dev/null || fail=1
"$native" extract HW.tvf -d hn -p "$pw" </dev/null >/dev/null || fail=1
for d in hw hwx hn; do diff -r in "$d/in" >/dev/null || fail=1; done
# Only the password itself opens it, not one with question marks where its letters are.
"${windows[@]}" list -p 'Gr??e' H.tvf </dev/null >/dev/null 2>&1 && fail=1
if [ $fail -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $fail
