#!/usr/bin/env bash
# The same sources build to the same bytes: the shipped programs (the Windows ones, the native
# sfxtool the Debian package carries, and the web page when the web build has made it) are built
# again in second build folders, at another path and some time later than the first builds,
# and must equal those of the first byte for byte. A link time or a build folder's path inside
# a program would make them differ.
#   reproducible_build.sh SOURCE_FOLDER WINDOWS_BUILD_FOLDER NATIVE_BUILD_FOLDER
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
source_dir=$1 windows=$2 native=$3
windows_programs=(sfxstub.exe sfxtool.exe sfxbuild.dll hwtok32.dll pluginhost.exe)
for program in "${windows_programs[@]/#/$windows/bin/}" "$native/bin/sfxtool"; do
    if [ ! -f "$program" ]; then
        echo "no $program: build the shipped programs first (skipped)"
        exit 77
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# again FIRST NAME TARGET...: builds the targets in a new folder NAME, configured as FIRST was.
again() {
    local first=$1 name=$2 variable value options=()
    shift 2
    for variable in CMAKE_BUILD_TYPE CMAKE_TOOLCHAIN_FILE QUILLON_SANITIZE QUILLON_STUB_EXE \
        QUILLON_EXTRACTOR; do
        value=$(sed -n "s/^$variable:[A-Z]*=//p" "$first/CMakeCache.txt")
        [ -n "$value" ] && options+=("-D$variable=$value")
    done
    cmake -G Ninja -S "$source_dir" -B "$scratch/$name" "${options[@]}" \
        >"$scratch/$name.log" 2>&1 || { cat "$scratch/$name.log"; exit 1; }
    cmake --build "$scratch/$name" --target "$@" >>"$scratch/$name.log" 2>&1 ||
        { tail -20 "$scratch/$name.log"; exit 1; }
}

again "$windows" windows sfxstub sfxtool sfxbuild hwtok32 pluginhost
for program in "${windows_programs[@]}"; do
    expect "$program is the same in both builds" \
        cmp "$windows/bin/$program" "$scratch/windows/bin/$program"
done
# The native sfxtool and the web page carry the extractor of the first Windows build in both.
again "$native" native sfxtool
expect "the native sfxtool is the same in both builds" \
    cmp "$native/bin/sfxtool" "$scratch/native/bin/sfxtool"
web=$source_dir/build/web
if [ -f "$web/quillon.html" ]; then
    again "$web" web quillon_page
    expect "the web page is the same in both builds" \
        cmp "$web/quillon.html" "$scratch/web/quillon.html"
fi
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
