#!/usr/bin/env bash
# What `make package` made, as a user gets it: the Debian package unpacked into a scratch root
# (dpkg-deb -x) runs its sfxtool, which says the package's version and makes, lists and unpacks
# a self-extracting archive with the extractor it carries; its manual page shows every command;
# completion, README, licence and changelog are in place, and so is the web page, where the
# manual page and the help say it is; lintian finds no error and no warning in it. The Windows
# zip holds the five binaries of this version, a README and the licence with Windows line ends,
# and the web page when the web build made one, in name order (so it packs the same each time).
#   package_test.sh PACKAGE_FOLDER VERSION WEB_PAGE
set -u
folder=$1 version=$2 web_page=$3
arch=$(dpkg --print-architecture 2>/dev/null || echo amd64)
deb=$folder/quillon-sfx_${version}_${arch}.deb
zip=$folder/quillon-sfx-$version-win32.zip
if [ ! -f "$deb" ] || [ ! -f "$zip" ]; then
    echo "no packages of $version in $folder: run make package first (skipped)"
    exit 77
fi
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ "$(dpkg-deb -f "$deb" Package)" = quillon-sfx ] || fail "the package's name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version: $(dpkg-deb -f "$deb" Version)"
root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
tool=$root/usr/bin/sfxtool
[ "$("$tool" --version)" = "sfxtool (Quillon SFX) $version" ] || fail "sfxtool --version says $("$tool" --version)"

mkdir -p "$work/in/sub" && printf 'packaged\n' >"$work/in/sub/a.txt"
(cd "$work" && "$tool" create -q -p Velvet-Otter-Quarry-42 -o made.exe in) || fail "create"
[ "$(head -c 2 "$work/made.exe")" = MZ ] || fail "the archive starts with the extractor the package carries"
[ "$("$tool" list -p Velvet-Otter-Quarry-42 "$work/made.exe")" = 'in/sub/a.txt' ] || fail "list: $("$tool" list -p Velvet-Otter-Quarry-42 "$work/made.exe")"
"$tool" extract -q -p Velvet-Otter-Quarry-42 -d "$work/out" "$work/made.exe" || fail "extract"
cmp -s "$work/in/sub/a.txt" "$work/out/in/sub/a.txt" || fail "the file comes back"

page=$root/usr/share/man/man1/sfxtool.1.gz
shown=$(MANWIDTH=100 man -l "$page" 2>&1) || fail "man -l $page"
for command in create extract list test rate; do
    grep -qE "^ +$command( |$)" <<<"$shown" || fail "the manual page shows no $command"
done
grep -q "Quillon SFX $version" <<<"$shown" || fail "the manual page names the version"
completion=$root/usr/share/bash-completion/completions/sfxtool
bash -c "source '$completion' && complete -p sfxtool" >/dev/null 2>&1 || fail "the completion does not register"
[ -s "$root/usr/share/doc/quillon-sfx/README.md" ] || fail "README"
installed_page=/usr/share/quillon-sfx/quillon.html
cmp -s "$web_page" "$root$installed_page" || fail "the web build's page is not at $installed_page"
grep -q "$installed_page" <<<"$shown" || fail "the manual page does not name $installed_page"
"$tool" --help | grep -q "$installed_page" || fail "sfxtool --help does not name $installed_page"
grep -q "MIT License" "$root/usr/share/doc/quillon-sfx/copyright" || fail "the licence"
zcat "$root/usr/share/doc/quillon-sfx/changelog.gz" 2>/dev/null | head -1 |
    grep -q "^quillon-sfx ($version) " || fail "the changelog's first entry is not $version's"
# lintian refuses to be quiet about running as root; what it finds goes to standard output.
if ! command -v lintian >/dev/null; then
    fail "lintian is not installed (scripts/bootstrap installs it)"
elif ! lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>/dev/null; then
    fail "lintian on the package: $(cat "$work/lintian.txt")"
fi

expected="LICENSE.txt README.txt hwtok32.dll pluginhost.exe sfxbuild.dll sfxstub.exe sfxtool.exe"
[ -f "$web_page" ] && expected="$expected quillon.html"
expected=$(tr ' ' '\n' <<<"$expected" | LC_ALL=C sort | tr '\n' ' ')
held=$(python3 -m zipfile -l "$zip" | awk 'NR > 1 {print $1}' | tr '\n' ' ')
[ "$held" = "$expected" ] || fail "the zip holds [$held], expected [$expected] in that order"
mkdir "$work/zip" && python3 -m zipfile -e "$zip" "$work/zip" || fail "the zip unpacks"
# Notepad before Windows 10 shows a file without carriage returns as one line.
for text in README.txt LICENSE.txt; do
    file=$work/zip/$text
    [ -s "$file" ] || { fail "$text is empty"; continue; }
    [ "$(grep -c $'\r$' "$file")" = "$(wc -l <"$file")" ] || fail "$text has lines without CRLF"
    [ "$(tail -c 2 "$file" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "$text does not end in CRLF"
done
[ "$(tr -d '\r' <"$work/zip/LICENSE.txt")" = "$(cat "$root/usr/share/doc/quillon-sfx/copyright")" ] ||
    fail "LICENSE.txt is not the licence"
grep -q "Quillon SFX $version" "$work/zip/README.txt" || fail "README.txt does not name $version"
for binary in hwtok32.dll pluginhost.exe sfxbuild.dll sfxstub.exe sfxtool.exe; do
    file=$work/zip/$binary
    [ "$(head -c 2 "$file" 2>/dev/null)" = MZ ] || { fail "$binary is no Windows binary"; continue; }
    # The version block's strings are UTF-16: the file version follows its name.
    strings -el "$file" | grep -A1 -x FileVersion | grep -qx "$version" ||
        fail "$binary does not carry version $version"
done

[ $failures -eq 0 ] && echo "packages of $version: all passed"
[ $failures -eq 0 ]
