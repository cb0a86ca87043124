#!/usr/bin/env bash
# The bootstrap's way around a mirror caught mid-sync, in a dry run (nothing is installed): when
# the plain install does not simulate cleanly, the install it runs is the one pinned to the
# release (-t CODENAME), and never the plain one; when the plain one simulates, no pin is added.
#   bootstrap_fallback.sh BOOTSTRAP
set -u
bootstrap=$1
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ] || ! command -v apt-get >/dev/null; then
    echo "not a Debian-like system with a release codename: skipped"
    exit 77
fi
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

out=$(QUILLON_BOOTSTRAP_DRY_RUN=1 QUILLON_BOOTSTRAP_SIMULATE_FAIL=plain "$bootstrap" 2>&1)
status=$?
[ $status -eq 0 ] || fail "the pinned fallback: exit status $status"
installs=$(grep 'would run: .*apt-get install' <<<"$out")
[ "$(wc -l <<<"$installs")" -eq 1 ] || fail "one install, and only one, is run: $installs"
grep -q -- "-t $codename\( \|$\)" <<<"$installs" || fail "the install is pinned to $codename: $installs"
grep -q "installing from $codename alone" <<<"$out" || fail "it says it pinned the release"
grep -q 'would run: .*apt-get update' <<<"$out" || fail "the index is updated first"

out=$(QUILLON_BOOTSTRAP_DRY_RUN=1 "$bootstrap" 2>&1)
status=$?
[ $status -eq 0 ] || fail "the plain install: exit status $status"
installs=$(grep 'would run: .*apt-get install' <<<"$out")
[ -n "$installs" ] || fail "the plain install is run"
if grep -q -- ' -t ' <<<"$installs"; then fail "no pin when the plain install simulates: $installs"; fi

[ $failures -eq 0 ] && echo "bootstrap fallback: all passed"
[ $failures -eq 0 ]
