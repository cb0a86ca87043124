#!/usr/bin/env bash
# SIGINT, SIGTERM and SIGHUP at random moments of a large create and a large extract: each run
# ends as a failed run does, with the signal's status (128 + its number) and one line on
# standard error saying so; no temporary of either is left (no .partial beside the archive, no
# ~qs*.tmp or .old in the destination), the archive that was at the output and the files that
# were in the destination are as they were. A signal that comes after the run finished finds a
# finished run: exit 0 and the new archive or files, whole.
#   interrupts.sh SFXTOOL
set -u
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# A gibibyte goes through the disk several times: in memory when there is room for it there.
scratch=${TMPDIR:-/tmp}
room=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 {print $4}')
[ -w /dev/shm ] && [ "${room:-0}" -gt $((6 * 1024 * 1024)) ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/interrupts.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
pw=Velvet-Otter-Quarry-42

mkdir -p in out
truncate -s 1G in/huge.bin
printf 'a small file after the large one\n' >in/small.txt
printf 'an old archive\n' >old.tvf
"$tool" create -q --plain -p "$pw" -o old.tvf in/small.txt || exit 1
cp old.tvf out/a.tvf

# One whole run of each, to spread the signals over the time one takes.
timed() {  # timed COMMAND...: runs it, its milliseconds in $took
    local start
    start=$(date +%s%N)
    "$@" || exit 1
    took=$((($(date +%s%N) - start) / 1000000))
}
timed "$tool" create -q --plain -p "$pw" -o whole.tvf in
create_span=$took
timed "$tool" extract -q -p "$pw" -d whole whole.tvf
extract_span=$took
rm -rf whole
echo "a whole create of 1 GiB takes $create_span ms, an extract $extract_span ms"

# The destination holds older files under two of the archive's names.
old_destination() {
    rm -rf dest
    mkdir -p dest/in
    printf 'old huge\n' >dest/in/huge.bin
    printf 'old small\n' >dest/in/small.txt
}

# Starts COMMAND..., sends SIGNAL at a random moment of the first 80% of SPAN milliseconds
# (the first 100 of them left out), and waits for it; the status in $ended.
interrupt() {  # interrupt SIGNAL SPAN COMMAND...
    local signal=$1 span=$2
    shift 2
    local delay=$((100 + (RANDOM * 32768 + RANDOM) % (span * 8 / 10 + 1)))
    # A job in the background of a script ignores SIGINT unless told otherwise.
    env --default-signal=INT "$@" </dev/null >out.txt 2>err.txt &
    local pid=$!
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -s "$signal" "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    ended=$?
    echo "$signal after $delay ms: exit $ended"
}

said_once() {  # said_once SIGNAL: one line on standard error, naming the signal
    [ "$(wc -l <err.txt)" -eq 1 ] && grep -q "^sfxtool: interrupted by SIG$1: " err.txt
}

for signal in INT TERM HUP; do
    number=$(kill -l "$signal")
    interrupt "$signal" "$create_span" "$tool" create -q --plain -p "$pw" -o out/a.tvf in
    if [ "$ended" -eq 0 ]; then
        expect "create finished before SIG$signal: the archive is whole" \
            "$tool" test -q -p "$pw" out/a.tvf
        cp old.tvf out/a.tvf
    else
        check "create ended by SIG$signal" $((128 + number)) "$ended"
        expect "create: one line says SIG$signal ended it" said_once "$signal"
        expect "create: the old archive is as it was after SIG$signal" cmp -s old.tvf out/a.tvf
    fi
    expect "create: nothing else at the output after SIG$signal" test "$(ls out)" = a.tvf

    old_destination
    interrupt "$signal" "$extract_span" "$tool" extract -q -p "$pw" -d dest whole.tvf
    if [ "$ended" -eq 0 ]; then
        expect "extract finished before SIG$signal: the files are whole" cmp -s in/small.txt dest/in/small.txt
    else
        check "extract ended by SIG$signal" $((128 + number)) "$ended"
        expect "extract: one line says SIG$signal ended it" said_once "$signal"
        expect "extract: the old files are as they were after SIG$signal" \
            test "$(cat dest/in/huge.bin dest/in/small.txt)" = "$(printf 'old huge\nold small')"
    fi
    expect "extract: no temporary left after SIG$signal" \
        test "$(find dest -type f | sort | tr '\n' ' ')" = "dest/in/huge.bin dest/in/small.txt "
done

# A signal ignored when sfxtool starts (nohup) stays ignored: the run goes on to the end.
nohup "$tool" create -q --plain -p "$pw" -o out/nohup.tvf in >/dev/null 2>&1 &
pid=$!
sleep 0.3
kill -s HUP "$pid" 2>/dev/null
wait "$pid"
check "an ignored SIGHUP" 0 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
