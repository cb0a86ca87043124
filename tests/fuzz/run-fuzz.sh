#!/usr/bin/env bash
# Builds seeds with sfxtool and runs the reader fuzzer over them for a bounded time.
#   run-fuzz.sh FUZZER SFXTOOL SECONDS
set -u
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
"$tool" create --plain -p fuzz -o corpus/keyed.tvf in >/dev/null
"$tool" create --plain --no-password -o corpus/single.tvf in/one >/dev/null
printf 'MZ' >stub
"$tool" create --stub stub --no-password -o corpus/stub.exe in/sub >/dev/null
# Signed images, well-formed and hostile (security directories and certificate entries).
"$(dirname "$fuzzer")/signed_image_seeds" corpus || exit 1
# Fuzzer output goes to a file; its last lines are shown when something was found.
"$fuzzer" corpus -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
    -artifact_prefix=crashes/ -print_final_stats=1 >fuzz.log 2>&1
status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' fuzz.log
if [ $status -ne 0 ]; then
    tail -n 40 fuzz.log
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
