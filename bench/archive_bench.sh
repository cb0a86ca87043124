#!/usr/bin/env bash
# Archive speed and peak memory of sfxtool beside its peers, all in one run on the same inputs,
# one line per figure, then the ratios the goals are stated in:
#   - many small files (20,000 of 0-8 KiB in 200 folders): create against `tar | openssl enc`
#     and `7z a -mx0 -mhe=on`, extract against `openssl enc -d | tar x` and `7z x`;
#   - one large file: create against the cipher's own CBC encryption (cipher_bench), extract
#     against a `dd bs=512K` copy of the archive;
#   - peak memory for a 1 GiB file and for 200,000 empty files (create, list, extract).
#
#   archive_bench.sh SFXTOOL [MIB]      (MIB: the large file's size, default 512)
#
# QUILLON_BENCH_BASELINE=OTHER-SFXTOOL measures a second sfxtool (say, a build of main) in the
# same run, line for line, and checks that both write the same bytes from the same inputs.
# QUILLON_BENCH_SMALL=FILES,FOLDERS,MAX_KIB and QUILLON_BENCH_MANY=FILES change the trees.
# QUILLON_BENCH_WINE="RUNNER SFXTOOL.EXE" adds the Windows build's figures under Wine (make bench
# passes the x86-64 build when it has been built).
set -u
tool=$(realpath "$1")
mib=${2:-512}
here=$(cd "$(dirname "$0")" && pwd)
cipher_bench=$(dirname "$tool")/cipher_bench
baseline=${QUILLON_BENCH_BASELINE:+$(realpath "$QUILLON_BENCH_BASELINE")}
IFS=, read -r small_files small_folders small_kib <<<"${QUILLON_BENCH_SMALL:-20000,200,8}"
many=${QUILLON_BENCH_MANY:-200000}
# QUILLON_BENCH_WINE="RUNNER SFXTOOL.EXE": the Windows build too, run by RUNNER (a Wine script).
read -r wine_run wine_tool <<<"${QUILLON_BENCH_WINE:-}"
[ -n "${wine_tool:-}" ] && wine_run=$(realpath "$wine_run") && wine_tool=$(realpath "$wine_tool")
for need in 7z openssl tar dd python3 /usr/bin/time; do
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

# Figures are kept by key for the ratios: seconds[KEY], peak[KEY].
declare -A seconds peak
line() {  # line KEY WHAT MB "SECONDS PEAK"
    local s m
    read -r s m <<<"$4"
    seconds[$1]=$s
    peak[$1]=$m
    awk -v what="$2" -v mb="$3" -v s="$s" -v m="$m" \
        'BEGIN { printf "%-34s %8.2f s  %8.1f MB/s  peak %6.1f MiB\n", what, s, mb / (s > 0 ? s : 0.01), m }'
}

# ratio WHAT GOAL A B: how many times faster A's time is than B's (B / A), against the goal.
ratio() {
    local a=${seconds[$3]:-} b=${seconds[$4]:-}
    [ -n "$a" ] && [ -n "$b" ] || return 0
    awk -v what="$1" -v goal="$2" -v a="$a" -v b="$b" 'BEGIN {
        r = b / (a > 0 ? a : 0.01)
        printf "ratio %-44s %5.2f  (goal %s: %s)\n", what, r, goal, (r >= goal ? "met" : "NOT met") }'
}

# The tools under test: this sfxtool, and the baseline's when one is given.
tools=(new)
declare -A binary=([new]=$tool)
if [ -n "$baseline" ]; then
    tools=(base new)
    binary[base]=$baseline
fi
label() { [ "$1" = new ] && echo "sfxtool" || echo "sfxtool (baseline)"; }

# Many small files.
python3 "$here/make_tree.py" tree "$small_files" "$small_folders" "$small_kib"
tree_mb=$(du -sb tree | awk '{ print $1 / 1e6 }')
echo "many small files: $small_files files, $small_folders folders, $tree_mb MB"
for t in "${tools[@]}"; do
    line "create-small-$t" "$(label "$t") create" "$tree_mb" \
        "$(measure a-$t.tvf "${binary[$t]}" create --plain -q -p bench -o a-$t.tvf tree)"
done
if [ -n "$baseline" ] && ! cmp -s a-base.tvf a-new.tvf; then
    echo "error: the two sfxtools wrote different archives from the same files"
fi
if command -v openssl >/dev/null; then
    line create-small-tar "tar cf - | openssl enc" "$tree_mb" \
        "$(measure a.enc sh -c 'tar cf - tree | openssl enc -aes-256-cbc -pbkdf2 -pass pass:bench -out a.enc')"
fi
if command -v 7z >/dev/null; then
    line create-small-7z "7z a -mx0 -mhe=on" "$tree_mb" \
        "$(measure a.7z 7z a -mx0 -mhe=on -pbench a.7z tree)"
fi
for t in "${tools[@]}"; do
    line "extract-small-$t" "$(label "$t") extract" "$tree_mb" \
        "$(measure x "${binary[$t]}" extract a-$t.tvf -q -d x -p bench)"
    diff -r tree x/tree >/dev/null || echo "error: $(label "$t") extracted other files"
done
if [ -f a.enc ]; then
    line extract-small-tar "openssl enc -d | tar x" "$tree_mb" \
        "$(measure y sh -c 'mkdir y && openssl enc -d -aes-256-cbc -pbkdf2 -pass pass:bench -in a.enc | tar xf - -C y')"
fi
if [ -f a.7z ]; then
    line extract-small-7z "7z x" "$tree_mb" "$(measure y 7z x -pbench -oy a.7z)"
fi
rm -rf tree x y a-*.tvf a.enc a.7z

# One large file.
head -c $((mib * 1048576)) /dev/urandom >data.bin
big_mb=$(awk -v m="$mib" 'BEGIN { print m * 1048576 / 1e6 }')
echo "one large file: $mib MiB"
encrypt_mbs=""
if [ -x "$cipher_bench" ]; then
    encrypt_mbs=$("$cipher_bench" 1 | awk '$1 == "aes-256-cbc" && $2 == "encrypt" { v = $4 } END { print v }')
    echo "cipher alone: aes-256-cbc encrypt $encrypt_mbs MB/s"
fi
for t in "${tools[@]}"; do
    line "create-big-$t" "$(label "$t") create" "$big_mb" \
        "$(measure a.tvf "${binary[$t]}" create --plain -q -p bench -o a.tvf data.bin)"
    line "extract-big-$t" "$(label "$t") extract" "$big_mb" \
        "$(measure x "${binary[$t]}" extract a.tvf -q -d x -p bench)"
    cmp -s data.bin x/data.bin || echo "error: the extracted file differs"
done
line copy-big "dd bs=512K (the archive)" "$big_mb" "$(measure copy.bin dd if=a.tvf of=copy.bin bs=512K)"
rm -rf x copy.bin
if command -v openssl >/dev/null; then
    line openssl-enc "openssl enc -aes-256-cbc" "$big_mb" \
        "$(measure a.enc openssl enc -aes-256-cbc -pbkdf2 -pass pass:bench -in data.bin -out a.enc)"
    rm -f a.enc
fi
if command -v 7z >/dev/null; then
    line 7z-big "7z a -mx0 -mhe=on" "$big_mb" "$(measure a.7z 7z a -mx0 -mhe=on -pbench a.7z data.bin)"
    rm -f a.7z
fi
# The Windows build under Wine, when one is given: the cipher's own figures, then create and
# extract of the same file. Wine takes a while to start a program, so that time (a run that
# only prints the version) is taken off each figure.
if [ -n "$wine_tool" ]; then
    echo "the Windows build under Wine: $wine_tool"
    "$wine_run" "$(dirname "$wine_tool")/cipher_bench.exe" 1 2>/dev/null | sed 's/^/  /'
    read -r start _ <<<"$(measure none "$wine_run" "$wine_tool" --version)"
    echo "  (start-up under Wine: $start s, taken off below)"
    for step in create extract; do
        if [ $step = create ]; then
            read -r s m <<<"$(measure w.tvf "$wine_run" "$wine_tool" create --plain -q -p bench -o w.tvf data.bin)"
        else
            read -r s m <<<"$(measure x "$wine_run" "$wine_tool" extract w.tvf -q -d x -p bench)"
        fi
        net=$(awk -v s="$s" -v t="$start" 'BEGIN { n = s - t; print (n > 0.01 ? n : 0.01) }')
        line "$step-big-wine" "sfxtool.exe $step (Wine)" "$big_mb" "$net $m"
    done
    cmp -s data.bin x/data.bin || echo "error: the file extracted under Wine differs"
    cmp -s a.tvf w.tvf || echo "error: the Windows build wrote other bytes than the native one"
    rm -rf x w.tvf
fi
rm -f a.tvf data.bin

# Memory: a 1 GiB file, and many empty files.
head -c $((1024 * 1048576)) /dev/zero >gib.bin
python3 "$here/make_tree.py" many "$many" 1000 0
echo "memory: a 1 GiB file; $many empty files"
for t in "${tools[@]}"; do
    line "create-gib-$t" "$(label "$t") create 1 GiB" 1073.7 \
        "$(measure g.tvf "${binary[$t]}" create --plain -q -p bench -o g.tvf gib.bin)"
    line "extract-gib-$t" "$(label "$t") extract 1 GiB" 1073.7 \
        "$(measure x "${binary[$t]}" extract g.tvf -q -d x -p bench)"
    rm -rf x
    line "create-many-$t" "$(label "$t") create $many empty" 0 \
        "$(measure m.tvf "${binary[$t]}" create --plain -q -p bench -o m.tvf many)"
    line "list-many-$t" "$(label "$t") list $many empty" 0 \
        "$(measure none "${binary[$t]}" list m.tvf -p bench)"
    line "extract-many-$t" "$(label "$t") extract $many empty" 0 \
        "$(measure x "${binary[$t]}" extract m.tvf -q -d x -p bench)"
    rm -rf x
done
rm -rf gib.bin g.tvf many m.tvf

echo "goals:"
ratio "small files: create vs tar | openssl enc" 1 create-small-new create-small-tar
ratio "small files: create vs 7z a" 3 create-small-new create-small-7z
ratio "small files: extract vs openssl -d | tar x" 1.2 extract-small-new extract-small-tar
ratio "small files: extract vs 7z x" 3 extract-small-new extract-small-7z
if [ -n "$encrypt_mbs" ]; then
    awk -v mb="$big_mb" -v s="${seconds[create-big-new]}" -v c="$encrypt_mbs" 'BEGIN {
        r = mb / (s > 0 ? s : 0.01) / c
        printf "ratio %-44s %5.2f  (goal 0.92: %s)\n", "large file: create vs the cipher alone", r, (r >= 0.92 ? "met" : "NOT met") }'
fi
ratio "large file: extract vs dd bs=512K" 0.8 extract-big-new copy-big
for step in create extract; do
    a=${seconds[$step-big-wine]:-} b=${seconds[$step-big-new]:-}
    [ -n "$a" ] && [ -n "$b" ] && awk -v what="large file: $step, Windows build (Wine) vs native" \
        -v a="$a" -v b="$b" 'BEGIN { printf "ratio %-44s %5.2f  (for the record)\n", what, b / a }'
done
for k in create-gib-new extract-gib-new create-many-new list-many-new extract-many-new; do
    awk -v k="$k" -v m="${peak[$k]:-0}" 'BEGIN {
        printf "memory %-43s %5.1f MiB  (goal < 32: %s)\n", k, m, (m < 32 ? "met" : "NOT met") }'
done
