#!/usr/bin/env bash
# Runs the page's tests in the system's Chromium (/usr/bin/chromium), driven by playwright-core.
# The driver is installed from the npm registry into build/web-tests at the version the lock file
# names, once; no browser is ever downloaded. Needs build/web/quillon.html and the native sfxtool.
#   run-web-tests.sh              the tests
#   run-web-tests.sh --bench [MIB]  the page's benchmark instead (bench/web_bench.mjs)
set -euo pipefail
cd "$(dirname "$0")/../.."

modules=build/web-tests
for need in build/web/quillon.html build/native/bin/sfxtool /usr/bin/chromium; do
    [ -e "$need" ] || { echo "web tests: $need is missing" >&2; exit 1; }
done
mkdir -p "$modules"
if ! cmp -s tests/web/package-lock.json "$modules/package-lock.json" ||
    [ ! -d "$modules/node_modules/playwright-core" ]; then
    cp tests/web/package.json tests/web/package-lock.json "$modules/"
    (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error)
fi
export QUILLON_TEST_MODULES=$PWD/$modules
if [ "${1:-}" = --bench ]; then
    exec node bench/web_bench.mjs "${2:-1024}"
fi
# One browser at a time: the machine has two cores.
exec node --test --test-concurrency=1 tests/web/*.test.mjs
