#!/usr/bin/env bash
# What create checks before it asks for a password, and what it says of what an archive cannot
# keep. Every file must be readable, every folder listable, the output's folder must exist and
# take files, and the output must be no folder; each failure names the path and the system's
# reason, and comes before any password prompt (these runs have no terminal, so reaching the
# prompt would fail otherwise). Folders without files and links that are not followed are named
# on standard error, with -q too, and counted in the summary.
#   create_inputs.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
cd "$work" || exit 1
# Permissions bind root only where the system enforces them for everybody (a read-only mount),
# so as root the runs go as nobody; where nobody cannot run the tool (it lies in a folder only
# root may enter), the cases that need permissions are left out.
as_user=()
permissions=yes
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    if ! "${as_user[@]}" "$tool" --version >/dev/null 2>&1; then
        echo "nobody cannot run $tool: the cases that need permissions are left out"
        as_user=()
        permissions=
    fi
fi
# No controlling terminal: a run that got as far as the password prompt says it has none.
run() { setsid -w "${as_user[@]}" "$tool" "$@" </dev/null >out.txt 2>err.txt; }
said() { grep -qxF -- "$1" err.txt; }  # said LINE: standard error holds exactly this line

mkdir -p in/sub ro locked/inner unlistable/open unlistable/shut
printf 'a\n' >in/a.txt
printf 'b\n' >in/sub/b.txt
printf 's\n' >secret.txt && chmod 000 secret.txt
printf 'l\n' >locked/inner/l.txt && chmod 000 locked
printf 'o\n' >unlistable/open/o.txt && chmod 000 unlistable/shut
chmod 555 ro
chmod 777 .

run create --plain -o nodir/sub/out.exe in; check "the output's folder is missing" 4 $?
expect "names the output and the reason" said 'sfxtool: nodir/sub/out.exe: No such file or directory'
run create --plain -o in in/a.txt; check "the output is a folder" 4 $?
expect "says it is one" said 'sfxtool: in: Is a directory'
run create --plain -o in/a.txt/x.tvf in/sub; check "the output's folder is a file" 4 $?
expect "says it is no folder" said 'sfxtool: in/a.txt/x.tvf: Not a directory'
if [ -n "$permissions" ]; then
    run create --plain -o ro/out.tvf in; check "the output's folder takes no files" 4 $?
    expect "says permission is denied" said 'sfxtool: ro/out.tvf: Permission denied'
    expect "leaves nothing there" test -z "$(ls ro)"
fi
run create --plain -o in/a.txt in; check "the output is a file to store" 64 $?
expect "says so" said "sfxtool: the output 'in/a.txt' is one of the files to store"
run create --plain -o out.tvf in missing.txt; check "an input is missing" 2 $?
expect "names it with the reason" said 'sfxtool: missing.txt: No such file or directory'
if [ -n "$permissions" ]; then
    run create --plain -o out.tvf in secret.txt; check "an input cannot be read" 2 $?
    expect "names it with the reason" said 'sfxtool: secret.txt: Permission denied'
    run create --plain -o out.tvf locked; check "a folder named cannot be listed" 2 $?
    expect "names it with the reason" said 'sfxtool: locked: Permission denied'
    run create --plain -o out.tvf unlistable; check "a folder inside cannot be listed" 2 $?
    expect "names the inner folder" said 'sfxtool: unlistable/shut: Permission denied'
fi
expect "no archive after any of them" test ! -e out.tvf
expect "no prompt was reached" not_found 'no terminal' err.txt
chmod 755 locked unlistable/shut

# What the archive cannot keep: named (with -q too) and counted; the files are stored.
mkdir -p tree/empty tree/deep/er/est tree/only-links tree/files elsewhere/folder
printf 'f\n' >tree/files/f.txt
printf 'target\n' >elsewhere/target.txt
ln -s ../elsewhere/folder tree/to-folder
ln -s ../nowhere tree/dangling
ln -s ../../elsewhere/target.txt tree/files/to-file
ln -s ../missing tree/only-links/dead
mkfifo tree/files/pipe
# Without the metadata record a folder without files has nowhere to go, and is named.
run create --plain -q --no-metadata -p Velvet-Otter-Quarry-42 -o t.tvf tree; check "create over a tree with gaps" 0 $?
expect "-q: nothing on standard output" test ! -s out.txt
expect "names the empty folder" said 'sfxtool: tree/empty: folder without files not stored (kept only with the metadata record)'
expect "names the deepest of nested empty folders" grep -qF 'sfxtool: tree/deep/er/est: folder without' err.txt
expect "and not the folders around it" not_found 'tree/deep/er:' err.txt
expect "names a folder holding only links" grep -qF 'sfxtool: tree/only-links: folder without' err.txt
expect "names the link to a folder" said 'sfxtool: tree/to-folder: link to a folder not stored (links are not followed into folders)'
expect "names the dangling links" test "$(grep -cE 'sfxtool: tree/(dangling|only-links/dead): link not stored: No such file or directory' err.txt)" = 2
expect "names the pipe" said 'sfxtool: tree/files/pipe: not stored: not a file (a pipe, socket or device)'
expect "says nothing of the files" not_found 'f.txt' err.txt
"$tool" list -p Velvet-Otter-Quarry-42 t.tvf >out.txt 2>/dev/null
expect "stores the files, a link to a file as the file" \
    test "$(tr '\\' / <out.txt | sort | tr '\n' ' ')" = 'tree/files/f.txt tree/files/to-file '
run create --plain --no-metadata -p Velvet-Otter-Quarry-42 -o t2.tvf tree; check "the same without -q" 0 $?
expect "the summary counts them" grep -qx 'created t2.tvf: 2 file(s); not stored: 3 folders without files, 3 links, 1 other entry' out.txt
# By default the same folders are kept, as entries of their own, and counted as kept; what is in
# them that cannot be stored is still named.
run create --plain -p Velvet-Otter-Quarry-42 -o t4.tvf tree; check "the tree, keeping empty folders" 0 $?
expect "the summary counts the folders kept" grep -qx 'created t4.tvf: 2 file(s), 3 empty folder(s); not stored: 3 links, 1 other entry' out.txt
expect "no folder is named as left out" not_found 'folder without files' err.txt
rm -rf back
"$tool" extract -q -p Velvet-Otter-Quarry-42 -d back t4.tvf 2>/dev/null
check "they come back" 0 $?
expect "every empty folder, and nothing in it" \
    test "$(cd back && find tree -mindepth 1 -type d -empty | sort | tr '\n' ' ')" = 'tree/deep/er/est tree/empty tree/only-links '
run create --plain -p Velvet-Otter-Quarry-42 -o t3.tvf tree/files/f.txt; check "a file alone" 0 $?
expect "its summary has nothing left out" grep -qx 'created t3.tvf: 1 file(s)' out.txt

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
