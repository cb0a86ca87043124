#!/usr/bin/env bash
# Builds seeds with sfxtool and runs the reader fuzzer over them for a bounded time, with the
# fuzzer of the stored-name rules beside it for as long (each takes one core).
#   run-fuzz.sh FUZZER SFXTOOL SECONDS
# Inputs may be up to 1 MiB, enough for forged counts and sizes to ask for a lot of memory; any
# single allocation over 16 MiB is a failure, since nothing the reader needs comes near it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$1
tool=$2
seconds=${3:-60}
root=$(dirname "$fuzzer")/fuzz-run
rm -rf "$root"
mkdir -p "$root/corpus" "$root/in/sub" "$root/crashes"
cd "$root" || exit 1
printf 'a' >in/one
: >in/empty
printf 'sixteen bytes!!!' >in/sub/block
head -c 300 /dev/urandom >in/sub/odd
"$tool" create --plain --no-password -o corpus/plain.tvf in >/dev/null
# Sealed by default; the classic image too.
"$tool" create --plain --no-integrity --no-password -o corpus/classic.tvf in >/dev/null
"$tool" create --plain -p fuzz -o corpus/keyed.tvf in >/dev/null
"$tool" create --plain --classic-key -p fuzz -o corpus/keyed-classic.tvf in >/dev/null
"$tool" create --plain --no-password -o corpus/single.tvf in/one >/dev/null
printf 'MZ' >stub
"$tool" create --stub stub --no-password -o corpus/stub.exe in/sub >/dev/null
forge=(python3 "$here/../support/forge_archive.py")
"${forge[@]}" claim corpus/claim.tvf 40000 65536
"${forge[@]}" short corpus/short.tvf 7
"${forge[@]}" many corpus/many.tvf 300
# Signed images, well-formed and hostile (security directories and certificate entries).
"$(dirname "$fuzzer")/signed_image_seeds" corpus || exit 1
# The fuzzer of the stored-name rules runs beside the reader's, on the other core.
names=$(dirname "$fuzzer")/name_fuzzer
mkdir -p names
"$names" names -max_total_time="$seconds" -max_len=2048 -timeout=10 \
    -artifact_prefix=crashes/names- -print_final_stats=1 >names.log 2>&1 &
names_pid=$!
# Fuzzer output goes to a file; its last lines are shown when something was found.
"$fuzzer" corpus -max_total_time="$seconds" -max_len=1048576 -timeout=10 -rss_limit_mb=1024 \
    -malloc_limit_mb=16 \
    -artifact_prefix=crashes/ -print_final_stats=1 >fuzz.log 2>&1
status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' fuzz.log
failed=0
if [ $status -ne 0 ]; then
    tail -n 40 fuzz.log
    failed=1
fi
if ! wait "$names_pid"; then
    tail -n 20 names.log
    failed=$((failed + 1))
fi
grep -E '^stat::number_of_executed_units' names.log
echo "$((2 - failed)) passed, $failed failed"
[ $failed -eq 0 ]
