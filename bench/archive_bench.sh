#!/usr/bin/env bash
# Archive throughput and peak memory of sfxtool on one file, beside 7-Zip storing it with AES
# and openssl enc, all in one run on the same file. One line per figure.
#   archive_bench.sh SFXTOOL [MIB...]      (default sizes: 100 1024)
set -u
tool=$1
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1024)
for need in 7z openssl /usr/bin/time; do
    command -v "$need" >/dev/null || echo "note: $need not found; its figures are left out (apt-get install p7zip-full time)"
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# The best of three runs of one command, as "SECONDS PEAK-MIB": on a shared or virtual machine
# the slowest runs measure the neighbours, not the program. Each run starts without its output
# (OUTPUT, the first argument), so no tool pays for replacing the last run's file.
measure() {
    local output=$1 best="" i
    shift
    for i in 1 2 3; do
        rm -rf "$output"
        sync
        /usr/bin/time -f '%e %M' -o t.txt "$@" </dev/null >/dev/null 2>&1
        best=$(awk -v best="$best" '{ if (best == "" || $1 < best + 0) printf "%s %.1f", $1, $2 / 1024; else print best }' t.txt)
    done
    echo "$best"
}

line() {  # line WHAT MIB "SECONDS PEAK"
    local s m
    read -r s m <<<"$3"
    awk -v what="$1" -v mib="$2" -v s="$s" -v m="$m" \
        'BEGIN { printf "%-28s %5d MiB  %8.1f MB/s  peak %6.1f MiB\n", what, mib, (mib * 1048576 / 1e6) / (s > 0 ? s : 0.001), m }'
}

for mib in "${sizes[@]}"; do
    head -c $((mib * 1048576)) /dev/urandom >data.bin
    sync
    line "sfxtool create" "$mib" "$(measure a.tvf "$tool" create --plain -p bench -o a.tvf data.bin)"
    line "sfxtool extract" "$mib" "$(measure x "$tool" extract a.tvf -d x -p bench)"
    cmp -s data.bin x/data.bin || echo "error: extracted file differs"
    rm -rf a.tvf x
    if command -v 7z >/dev/null; then
        line "7z a -mx0 -mhe=on (AES)" "$mib" "$(measure a.7z 7z a -mx0 -mhe=on -pbench a.7z data.bin)"
        line "7z x" "$mib" "$(measure y 7z x -pbench -oy a.7z)"
        rm -rf a.7z y
    fi
    if command -v openssl >/dev/null; then
        line "openssl enc -aes-256-cbc" "$mib" \
            "$(measure a.enc openssl enc -aes-256-cbc -pbkdf2 -pass pass:bench -in data.bin -out a.enc)"
        line "openssl enc -d -aes-256-cbc" "$mib" \
            "$(measure b.bin openssl enc -d -aes-256-cbc -pbkdf2 -pass pass:bench -in a.enc -out b.bin)"
        rm -f a.enc b.bin
    fi
    rm -f data.bin
done
