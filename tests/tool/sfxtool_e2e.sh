#!/usr/bin/env bash
# sfxtool as people and scripts use it: archives made, listed, tested and extracted, and the exit
# status and message for each kind of failure. Runs the native tool, or the Windows one through
# Wine when given "scripts/wine-run sfxtool.exe".
#   sfxtool_e2e.sh TOOL [ARGS...]
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
run() { "${tool[@]}" "$@" </dev/null >out.txt 2>err.txt; }
# Stored names are shown with the separator of the system the tool runs on.
sep=/
[ ${#tool[@]} -gt 1 ] && sep='\'
not_in() { ! grep -q -- "$2" "$1"; }  # not_in FILE TEXT

mkdir -p in/sub/deeper "in/r$(printf '\xc3\xa9')sum$(printf '\xc3\xa9')"
printf 'hello\n' >in/a.txt
: >in/empty
head -c 700000 /dev/urandom >in/sub/deeper/big.bin
printf 'caf\xc3\xa9' >"in/r$(printf '\xc3\xa9')sum$(printf '\xc3\xa9')/x.txt"

run create --plain -p 'pass word' -o a.tvf in; check "create" 0 $?
run list a.tvf -p 'pass word'; check "list" 0 $?
expect "list shows the names alone" grep -qxF "in${sep}sub${sep}deeper${sep}big.bin" out.txt
run list -v a.tvf -p 'pass word'; check "list -v" 0 $?
expect "list -v shows the sizes and names" grep -qF " 700000  in${sep}sub${sep}deeper${sep}big.bin" out.txt
run test a.tvf -p 'pass word'; check "test" 0 $?
expect "test writes nothing" test ! -e in/in
run extract a.tvf -d out -p 'pass word'; check "extract" 0 $?
expect "extracted tree equals the input" diff -r in out/in

printf 'from stdin\n' >pw.txt
"${tool[@]}" create --plain --password-stdin -o s.tvf -C in a.txt <pw.txt >/dev/null 2>&1
check "create with --password-stdin and -C" 0 $?
"${tool[@]}" extract s.tvf -d s --password-stdin <pw.txt >/dev/null 2>&1
check "extract with --password-stdin" 0 $?
expect "-C stores names relative to it" cmp -s in/a.txt s/a.txt

run create --plain --no-password -o open.tvf in/a.txt; check "create without password" 0 $?
run extract open.tvf -d o --no-password; check "extract without password" 0 $?
run extract open.tvf -d o2 -p any; check "keyless archive read with a key" 1 $?

# A password that gives no key (here one that starts with a zero character, so nothing of it is
# left to digest) must stop the job, not write the archive in the clear or read without a key.
printf '\0hidden\n' >nokey.txt
"${tool[@]}" create --plain --password-stdin -o nokey.tvf in/a.txt <nokey.txt >/dev/null 2>err.txt
check "create with a password that gives no key" 3 $?
expect "create says why" grep -q "could not be made into a key" err.txt
expect "create wrote no archive" test ! -e nokey.tvf
"${tool[@]}" extract s.tvf -d nokey --password-stdin <nokey.txt >/dev/null 2>&1
check "extract with a password that gives no key" 3 $?
expect "extract wrote nothing" test ! -e nokey
"${tool[@]}" list s.tvf --password-stdin <nokey.txt >/dev/null 2>&1
check "list with a password that gives no key" 3 $?

run extract a.tvf -d wrong -p 'not it'; check "wrong password" 1 $?
expect "wrong password message" grep -q 'The password you entered is incorrect!' err.txt
expect "wrong password creates nothing" test ! -e wrong

# One byte inserted before the trailer: damaged. One appended after it: wrong password.
head -c 100 a.tvf >ins.tvf; printf 'X' >>ins.tvf; tail -c +101 a.tvf >>ins.tvf
run extract ins.tvf -d ins -p 'pass word'; check "inserted byte" 2 $?
expect "corrupt message" grep -q 'File is corrupt and cannot be decrypted!' err.txt
cp a.tvf app.tvf; printf 'X' >>app.tvf
run list app.tvf -p 'pass word'; check "appended byte" 1 $?
# An archive that cannot be opened is not corrupt: its name and the system's reason.
run list missing.tvf -p x; check "missing archive" 2 $?
expect "names the missing archive" grep -q '^sfxtool: missing.tvf: [A-Za-z]' err.txt
expect "does not call it corrupt" not_in err.txt 'corrupt'
if [ ${#tool[@]} -eq 1 ]; then
    expect "gives the system's reason" grep -qx 'sfxtool: missing.tvf: No such file or directory' err.txt
fi
run extract missing.tvf -d m -p x; check "extract a missing archive" 2 $?
expect "extract names it too" grep -q '^sfxtool: missing.tvf: [A-Za-z]' err.txt
run test missing.tvf; check "test a missing archive, before asking for a password" 2 $?
expect "test names it too" grep -q '^sfxtool: missing.tvf: [A-Za-z]' err.txt

# Without --plain or --stub the archive is self-extracting, behind the extractor built in.
run create -p x -o self.exe in/a.txt; check "create with the built-in extractor" 0 $?
expect "the built-in extractor comes first" test "$(head -c 2 self.exe)" = MZ
run extract self.exe -d se -p x; check "extract a self-extracting archive" 0 $?
expect "its file comes back" cmp -s in/a.txt se/in/a.txt
printf 'MZ pretend extractor' >stub.bin
run create --stub stub.bin -p x -o with-stub.exe in/a.txt; check "create behind a stub" 0 $?
expect "the stub comes first" cmp -s -n 20 stub.bin with-stub.exe
run extract with-stub.exe -d ws -p x; check "extract from behind a stub" 0 $?

mkdir -p q/dup dup; printf 1 >q/dup/f; printf 2 >dup/f
run create --plain -p x -o twins.tvf q/dup/../dup/f dup/f
check "two inputs under one stored name" 64 $?
expect "names them" grep -q 'would be stored under the same name' err.txt
run create --plain -p x -o cut.tvf ../"$(basename "$work")"/in/a.txt
check "a name climbing out is stored cut" 0 $?
expect "says so" grep -q 'left out of the stored names' err.txt
run list cut.tvf -p x
expect "stored from past the climb" grep -qxF "$(basename "$work")${sep}in${sep}a.txt" out.txt

run create --plain -p x -o no/such/dir/a.tvf in/a.txt; check "output cannot be created" 4 $?
run create --plain -p x nothing-here; check "input missing" 2 $?
printf 'blocker' >blocked
run extract a.tvf -d blocked -p 'pass word'; check "destination cannot take files" 4 $?
expect "write error message" grep -q 'A file could not be written to the destination directory!' err.txt
mkdir -p refuse/in/a.txt
run extract a.tvf -d refuse -p 'pass word'; check "a folder where a file goes" 4 $?
expect "the refused file is named with the system's separator, and why" grep -qF \
    "refuse${sep}in${sep}a.txt: refused: a folder or other entry that is no plain file stands there" err.txt
expect "and nothing else arrives" test ! -e refuse/in/empty
run frobnicate; check "unknown command" 64 $?
run create --plain -p x -p y in; check "two password options" 64 $?
run extract; check "extract without archive" 64 $?

# The password meter: one line per password, its result and verdict, the passwords rated as
# ANSI bytes (the UTF-8 "résumé" is six bytes, two of them above ASCII).
long=$(printf 'a%.0s' $(seq 65))
printf 'q7#Lm\n\naaaaaa\nzombie1\nbdfhjlnp\r\nbdfhjlnprt\nabcdefghijklmnop\nx1Q[m{qrstuvwxyz\n' >rate.txt
printf 'r\xc3\xa9sum\xc3\xa9\n%s' "$long" >>rate.txt
printf '%s\t%s\n' -4 'too short' -4 'too short' -7 'too simple' -9 'based on a common word' \
    28 weak 36 fair 58 good 82 strong 33 fair -5 'too long' >rated.txt
"${tool[@]}" rate <rate.txt >out.txt 2>err.txt; check "rate" 0 $?
expect "rate gives each password its result and verdict" cmp -s rated.txt out.txt
expect "rate prints no prompt when reading a pipe" test ! -s err.txt
: | "${tool[@]}" rate >out.txt 2>&1; check "rate with nothing to read" 0 $?
expect "prints nothing" test ! -s out.txt
run rate -p secret; check "rate refuses a password on the command line" 64 $?
expect "says why" grep -q 'rate takes no arguments' err.txt
run --help; check "help" 0 $?
expect "usage names rate" grep -q 'sfxtool rate' out.txt
run --version; check "version" 0 $?
expect "version line" grep -qx 'sfxtool (Quillon SFX) [0-9]*\.[0-9]*\.[0-9]*' out.txt
run create --help; check "a command's help" 0 $?
expect "create's help names its options" grep -q -- '-C DIR' out.txt
run list --help; check "list's help" 0 $?
expect "list's help has no option of create" not_in out.txt '-o ARCHIVE'
run list -o x.tvf a.tvf; check "an option of another command" 64 $?
expect "says which" grep -q -- '-o does not go with list' err.txt

# Quiet: errors and warnings only (a password the meter passes draws none). And -- ends the
# options, so a name may start with a dash.
quiet_pw=Velvet-Otter-Quarry-42
printf 'dash\n' >-dash.txt
run create -q --plain -p "$quiet_pw" -o dash.tvf -- -dash.txt; check "create -q with --" 0 $?
expect "create -q prints nothing" test ! -s out.txt -a ! -s err.txt
run list -p "$quiet_pw" dash.tvf; expect "the dashed name is stored" grep -qx -- '-dash.txt' out.txt
run extract -q -p "$quiet_pw" -d dq dash.tvf; check "extract -q" 0 $?
expect "extract -q prints nothing" test ! -s out.txt -a ! -s err.txt
expect "extract -q extracts" cmp -s -- -dash.txt dq/-dash.txt
run extract -p "$quiet_pw" -d dv dash.tvf; check "extract without -q" 0 $?
expect "extract says what it did" grep -q 'extracted 1 file' out.txt

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
