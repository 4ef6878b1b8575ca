#!/usr/bin/env bash
# Builds tessaron with AddressSanitizer and UndefinedBehaviorSanitizer into a
# separate build folder, runs the test suite against it, then reinstalls the
# normal build. Any report fails the run. Usage: tools/sanitize.sh [pytest args]
set -euo pipefail
cd "$(dirname "$0")/.."
restore() { pip install -q --no-build-isolation -Cbuild-dir=build . >/dev/null 2>&1 || true; }
trap restore EXIT
TESSARON_SANITIZE=ON pip install -q --no-build-isolation -Cbuild-dir=build-sanitize .
runtime="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
# Leak detection is off: the interpreter itself keeps memory until exit.
# Allocations that are meant to fail (huge shapes) must return null, not abort.
LD_PRELOAD="$runtime" ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
    python -m pytest -q -s -p no:cacheprovider tests "$@"
