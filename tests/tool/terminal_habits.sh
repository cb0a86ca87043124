#!/usr/bin/env bash
# sfxtool at a terminal as people use one: bash's own completion (typed with Tab in an
# interactive bash) puts names with spaces and quotes on the line whole, so the command gets
# them as one argument; stored names show with slashes; the progress line fits terminals of
# every width, never wraps, and ends at 100%; a file that is no archive is called so (exit 2),
# apart from an archive that is damaged or opened with a wrong password.
#   terminal_habits.sh SFXTOOL COMPLETION_SCRIPT
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
script=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
session="python3 $(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/terminal_session.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "${KEEP:-}" ] && trap - EXIT && echo "$work"
cd "$work" || exit 1
pw=Velvet-Otter-Quarry-42
run() { "$tool" "$@" </dev/null >out.txt 2>err.txt; }

mkdir -p in/sub "a dir" "it's here"
printf 'one\n' >in/sub/one.txt
"$tool" create -q --plain -p "$pw" -o "my archive.tvf" in || exit 1
cp "my archive.tvf" "it's here/quoted \"name\".tvf"

# Completion, through bash's readline: Tab completes, Enter runs what is on the line.
mkdir bin && ln -s "$tool" bin/sfxtool
typed() {  # typed TEXT...: each TEXT typed at an interactive bash, then Enter; its screen in screen.txt
    {
        echo 'expect bash-'
        echo "send PS1='ready> '; PATH=$work/bin:\$PATH; source '$script'\\n"
        echo 'expect ready> '
        for line in "$@"; do echo "send $line\\n"; echo 'expect ready> '; done
        echo 'send exit\n'
    } | env -i HOME="$work" TERM=dumb INPUTRC=/dev/null PATH="$PATH" \
        $session --transcript screen.txt bash --norc --noprofile -i
}
typed "sfxtool list -p $pw my\\t" "sfxtool list -p $pw it\\t\\t"
check "bash completes and runs" 0 $?
expect "a name with a space is put on the line quoted" grep -qF 'my\ archive.tvf' screen.txt
expect "and reaches sfxtool whole" test "$(grep -c '^in/sub/one.txt' screen.txt)" -ge 1
expect "a folder with a quote is put on the line quoted" grep -qF "it\\'s\\ here/" screen.txt
expect "a name with double quotes too" grep -qF 'quoted\ \"name\".tvf' screen.txt
expect "and that archive lists as well" test "$(grep -c '^in/sub/one.txt' screen.txt)" -ge 2
typed "sfxtool extract -p $pw -d a\\t \"my ar\\t"
expect "a folder for -d and a name begun with a quote" grep -qF -- '-d a\ dir/ "my archive.tvf"' screen.txt
expect "the folder receives the files" test -f "a dir/in/sub/one.txt"

# Stored names are shown with slashes: in a listing, and in an error about a file.
run list -p "$pw" "my archive.tvf"
expect "list shows slashes" grep -qx 'in/sub/one.txt' out.txt
mkdir -p blocked/in/sub/one.txt
run extract -p "$pw" -d blocked "my archive.tvf"; check "a folder where a file goes" 4 $?
expect "the error names the file with slashes" grep -qF 'blocked/in/sub/one.txt: refused' err.txt
expect "and says what stands there" \
    grep -qF 'one.txt: refused: a folder or other entry that is no plain file stands there' err.txt

# The progress line at widths from narrow to wide: no part of it wider than one column less
# than the terminal, the last one at 100% (a tiny archive too), names long and wide.
long="in/$(printf 'very-long-folder-name-%.0s' 1 2 3 4 5)/$(printf '\xe6\x96\x87\xe4\xbb\xb6%.0s' $(seq 12)).txt"
mkdir -p "$(dirname "$long")" && head -c 3000000 /dev/urandom >"$long"
printf 'tiny\n' >tiny.txt
fits() {  # fits COLUMNS: every piece of the transcript between line starts fits, the last says 100%
    python3 - "$1" <<'EOF'
import sys, unicodedata
columns = int(sys.argv[1])
text = open("progress.txt", "rb").read().decode("utf-8")
pieces = [p for p in text.replace("\n", "\r").split("\r") if "%" in p]
def width(s):
    return sum(0 if unicodedata.combining(c) else 2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in s)
bars = pieces
too_wide = [p for p in pieces if width(p) > columns - 1]
if too_wide or not bars or "100%" not in bars[-1]:
    print(f"columns {columns}: widest {max(map(width, pieces))}, last {bars[-1] if bars else None!r}")
    sys.exit(1)
EOF
}
for columns in 12 24 40 80 200; do
    printf '' | $session --columns "$columns" --transcript progress.txt \
        "$tool" create --plain -p "$pw" -o "w$columns.tvf" in tiny.txt
    check "create at $columns columns" 0 $?
    expect "create's line fits $columns columns and ends at 100%" fits "$columns"
    printf '' | $session --columns "$columns" --transcript progress.txt \
        "$tool" extract -p "$pw" -d "x$columns" "w$columns.tvf"
    check "extract at $columns columns" 0 $?
    expect "extract's line fits $columns columns and ends at 100%" fits "$columns"
done
printf '' | $session --columns 80 --transcript progress.txt "$tool" create --plain -p "$pw" -o t.tvf tiny.txt
expect "a tiny archive's line ends at 100%" fits 80
printf '' | $session --columns 80 --transcript progress.txt "$tool" test -p "$pw" t.tvf
expect "so does testing it" fits 80

# No archive, damage and a wrong password, each told apart.
seq 1 2000 >notes.txt
printf 'short' >short.bin
run list -p "$pw" notes.txt; check "list a text file" 2 $?
expect "says it is not an archive" grep -qx 'sfxtool: notes.txt: not an archive (it ends in text)' err.txt
run test notes.txt; check "test a text file, before asking for a password" 2 $?
expect "says so too" grep -q 'notes.txt: not an archive' err.txt
run extract -p "$pw" -d n notes.txt; check "extract a text file" 2 $?
expect "writes nothing" test ! -e n
run list --no-password short.bin; check "a file too small to be an archive" 2 $?
expect "says so" grep -q 'short.bin: not an archive (too small to be one)' err.txt
cp "$tool" program
run test -p "$pw" program; check "a program" 2 $?
expect "is no archive either" grep -q 'program: not an archive' err.txt
run test /dev/null; check "a device" 2 $?
expect "is called a device, not a folder" \
    grep -qx 'sfxtool: /dev/null: not a file (a device, a pipe or a socket), so not an archive' err.txt
run list -p wrong "my archive.tvf"; check "an archive under a wrong password" 1 $?
expect "is one" not_found 'not an archive' err.txt
head -c 100 "my archive.tvf" >damaged.tvf; printf 'X' >>damaged.tvf; tail -c +101 "my archive.tvf" >>damaged.tvf
run test -p "$pw" damaged.tvf; check "a damaged archive" 2 $?
expect "is called corrupt" grep -q 'File is corrupt and cannot be decrypted!' err.txt
run create -q --plain --no-password -o open.tvf in; run test --no-password open.tvf
check "an archive without a password is one" 0 $?
for archive in open.tvf "my archive.tvf" t.tvf; do
    run list -p "$pw" "$archive"
    expect "$archive is not taken for something else" not_found 'not an archive' err.txt
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
