#!/usr/bin/env bash
# The password create takes must be one the recipient can type into the extractor: at most 63
# characters, and for the classic key only characters the ANSI code page keeps (that key is made
# from those bytes; a hardened one from the characters themselves),
# whichever way it is given. One the meter rejects is used after a yes at the terminal, and with
# a warning from -p or standard input. Opening takes every password as before.
#   new_password.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
session="python3 $(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/terminal_session.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
printf 'hello\n' >a.txt
run() { "$tool" "$@" </dev/null >out.txt 2>err.txt; }

good='Velvet-Otter-Quarry-42'
long63=$(printf 'Kq7%.0s' $(seq 21))
long64="${long63}x"
cyrillic='секретный пароль жираф'

# Too long for the dialogs, from each source; one character less is taken.
run create --plain -p "$long64" -o long.tvf a.txt; check "-p of 64 characters" 64 $?
expect "says how long and how much the dialogs take" grep -q '64 characters long.*at most 63' err.txt
expect "no archive for it" test ! -e long.tvf
printf '%s\n' "$long64" | "$tool" create --plain --password-stdin -o long.tvf a.txt >/dev/null 2>err.txt
check "--password-stdin of 64 characters" 64 $?
expect "no archive from standard input" test ! -e long.tvf
printf 'expect Password: \nsend %s\\n\n' "$long64" |
    $session --transcript typed.txt "$tool" create --plain -o long.tvf a.txt
check "64 characters typed at the prompt" 64 $?
expect "refused before the second prompt" not_found 'Confirm password' typed.txt
expect "no archive from the prompt" test ! -e long.tvf
run create --plain -p "$long63" -o ok63.tvf a.txt; check "-p of 63 characters" 0 $?
run list -p "$long63" ok63.tvf; check "it opens" 0 $?

# Characters the code page cannot hold: for the classic key, whose bytes come from the code
# page, refused from every source with the reason.
run create --plain --classic-key -p "$cyrillic" -o cyr.tvf a.txt
check "-p with characters lost to the code page" 64 $?
expect "names the code page and why" grep -q 'ANSI code page (Windows-1252) cannot hold' err.txt
expect "does not show the password" not_found 'жираф' err.txt
expect "no archive" test ! -e cyr.tvf
printf '%s\n' "$cyrillic" |
    "$tool" create --plain --classic-key --password-stdin -o cyr.tvf a.txt >/dev/null 2>&1
check "the same from standard input" 64 $?
printf 'expect Password: \nsend %s\\n\n' "$cyrillic" |
    $session --transcript typed.txt "$tool" create --plain --classic-key -o cyr.tvf a.txt
check "the same typed" 64 $?
expect "no archive after all three" test ! -e cyr.tvf
# Characters Windows-1252 has are kept, and only the password itself opens the archive.
run create --plain --classic-key -p 'Grüße-€uro-Œuvre-9' -o cp.tvf a.txt
check "Windows-1252 characters" 0 $?
run list -p 'Grüße-€uro-Œuvre-9' cp.tvf; check "open with them" 0 $?
run list -p 'Gr??e-?uro-?uvre-9' cp.tvf; check "not with question marks in their place" 1 $?
# Opening still takes such a password, as the classic key has always been made from it.
run create --plain --classic-key -p '????????? ?????? ?????' -o q.tvf a.txt
check "the code page's form" 0 $?
run extract -p "$cyrillic" -d cyr q.tvf; check "opened with the characters it stands for" 0 $?
expect "the file comes back" cmp -s a.txt cyr/a.txt
printf '%s\n' "$cyrillic" | "$tool" rate >out.txt
expect "rate says the classic key refuses it" \
    grep -q "cannot hold (create --classic-key refuses it)" out.txt
# A hardened key is made from the password's own characters: the same password is taken, opens
# it, and the code page's question marks do not.
run create --plain -p "$cyrillic" -o uni.tvf a.txt; check "hardened: any character" 0 $?
run extract -p "$cyrillic" -d uni uni.tvf; check "hardened: opens with it" 0 $?
expect "hardened: the file comes back" cmp -s a.txt uni/a.txt
run list -p '????????? ?????? ?????' uni.tvf
check "hardened: not under the code page's form" 1 $?

# The meter is advisory: a rejected password is used, and from -p or standard input its verdict
# is said on standard error (even with -q); a good one passes without a word.
run create --plain -q -p abc -o weak.tvf a.txt; check "a weak password from -p" 0 $?
expect "the verdict on standard error" grep -q 'warning: the password meter rejects this password (too short)' err.txt
expect "the archive is made" test -s weak.tvf
printf 'zombie1\n' | "$tool" create --plain --password-stdin -o weak2.tvf a.txt >/dev/null 2>err.txt
check "a weak password from standard input" 0 $?
expect "its verdict" grep -q 'based on a common word' err.txt
run create --plain -p "$good" -o good.tvf a.txt; check "a good password" 0 $?
expect "no warning for it" not_found 'warning' err.txt

# At the terminal a rejected password needs a yes; no (or just Enter) makes nothing.
for answer in n ''; do
    printf 'expect Password: \nsend abc\\n\nexpect [y/N] \nsend %s\\n\n' "$answer" |
        $session --transcript typed.txt "$tool" create --plain -o weak3.tvf a.txt
    check "answered '$answer'" 64 $?
    expect "no archive after '$answer'" test ! -e weak3.tvf
    expect "not asked to confirm after '$answer'" not_found 'Confirm password' typed.txt
done
printf 'expect Password: \nsend abc\\n\nexpect [y/N] \nsend y\\n\nexpect Confirm password: \nsend abc\\n\n' |
    $session --transcript typed.txt "$tool" create --plain -o weak3.tvf a.txt
check "answered y" 0 $?
run list -p abc weak3.tvf; check "that archive opens with it" 0 $?
printf 'expect Password: \nsend %s\\n\nexpect Confirm password: \nsend %s\\n\n' "$good" "$good" |
    $session --transcript typed.txt "$tool" create --plain -o good2.tvf a.txt
check "a good password typed twice" 0 $?
expect "is not questioned" not_found '[y/N]' typed.txt

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
