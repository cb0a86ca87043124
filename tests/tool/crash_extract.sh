#!/usr/bin/env bash
# Kills sfxtool at random moments while it extracts over a folder of existing files, as a power
# cut or SIGKILL would, and checks after each kill that every file holds either its old bytes or
# the archive's, and that nothing else is left but temporaries of the documented pattern.
#   crash_extract.sh SFXTOOL [TRIALS]
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
trials=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

mkdir -p new old
for i in $(seq -w 1 40); do
    head -c $((200000 + 10#$i * 7919)) /dev/urandom >"new/f$i.bin"
    head -c $((150000 + 10#$i * 3571)) /dev/urandom >"old/f$i.bin"
done
(cd new && "$tool" create --plain -p crash -o ../a.tvf ./*.bin >/dev/null) || exit 1
sha() { (cd "$1" && sha256sum ./*.bin 2>/dev/null); }
sha new | sort >new.sum
sha old | sort >old.sum

reset() {
    rm -rf dest
    cp -r old dest
}

# How long one run takes, to spread the kills over it.
reset
start=$(date +%s%N)
"$tool" extract a.tvf -d dest -p crash >/dev/null 2>&1 || exit 1
span=$((($(date +%s%N) - start) / 1000))  # microseconds
[ "$span" -lt 1000 ] && span=1000
cmp <(sha dest | sort) new.sum >/dev/null || { echo "FAIL: the uninterrupted run"; exit 1; }

# A pause without starting a process (sleep would add its own start-up to every delay).
mkfifo pause.fifo
exec 3<>pause.fifo
pause() { read -r -t "$1" -u 3 || true; }

failures=0 passes=0 killed=0
for trial in $(seq 1 "$trials"); do
    reset
    delay=$((RANDOM * 32768 + RANDOM))
    delay=$((delay % span))
    "$tool" extract a.tvf -d dest -p crash >/dev/null 2>&1 &
    pid=$!
    pause "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    kill -9 "$pid" 2>/dev/null && killed=$((killed + 1))
    wait "$pid" 2>/dev/null
    bad=0
    # Every one of the 40 files is there and holds its old or its new bytes (one process for
    # all of them: starting processes is the slow part here).
    sha dest >got.sum
    if ! awk -v trial="$trial" -v delay="$delay" '
        FILENAME == "old.sum" || FILENAME == "new.sum" { ok[$2 " " $1] = 1; next }
        { seen++; if (!(($2 " " $1) in ok)) { print "FAIL: trial " trial " (killed after " \
              delay " us): " $2 " is neither old nor new"; bad = 1 } }
        END { if (seen != 40) { print "FAIL: trial " trial ": " seen " of 40 files"; bad = 1 }
              exit bad }' old.sum new.sum got.sum; then
        bad=1
    fi
    stray=$(ls dest | grep -v -E '^f[0-9]{2}\.bin$' | grep -v -E '^~qs[0-9A-F]{8}\.(tmp|old)$')
    if [ -n "$stray" ]; then
        echo "FAIL: trial $trial: unexpected files: $stray"
        bad=1
    fi
    if [ $bad -eq 0 ]; then passes=$((passes + 1)); else failures=$((failures + 1)); fi
done
echo "killed $killed of $trials runs part-way (a run takes about $((span / 1000)) ms)"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
