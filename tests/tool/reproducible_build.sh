#!/usr/bin/env bash
# The same sources build to the same bytes: the shipped Windows programs are built again in a
# second build folder, at another path and some time later than the first build, and must equal
# those of the first byte for byte. A link time or a build folder's path inside a program would
# make them differ.
#   reproducible_build.sh SOURCE_FOLDER FIRST_BUILD_FOLDER
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
source_dir=$1 first=$2
shipped=(sfxstub.exe sfxtool.exe sfxbuild.dll hwtok32.dll pluginhost.exe)
for program in "${shipped[@]}"; do
    if [ ! -f "$first/bin/$program" ]; then
        echo "no $first/bin/$program: build the Windows programs first (skipped)"
        exit 77
    fi
done
cached() {  # cached NAME: the value the first build was configured with
    sed -n "s/^$1:[A-Z]*=//p" "$first/CMakeCache.txt"
}
second=$(mktemp -d)
trap 'rm -rf "$second"' EXIT
cmake -G Ninja -S "$source_dir" -B "$second/again" \
    -DCMAKE_TOOLCHAIN_FILE="$(cached CMAKE_TOOLCHAIN_FILE)" \
    -DCMAKE_BUILD_TYPE="$(cached CMAKE_BUILD_TYPE)" >"$second/configure.log" 2>&1 ||
    { cat "$second/configure.log"; exit 1; }
cmake --build "$second/again" --target sfxstub sfxtool sfxbuild hwtok32 pluginhost \
    >"$second/build.log" 2>&1 || { tail -20 "$second/build.log"; exit 1; }
for program in "${shipped[@]}"; do
    expect "$program is the same in both builds" \
        cmp "$first/bin/$program" "$second/again/bin/$program"
done
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
