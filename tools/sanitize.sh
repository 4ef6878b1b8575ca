#!/usr/bin/env bash
# Builds tessaron with AddressSanitizer and UndefinedBehaviorSanitizer into
# its own build and install folders (the normal installation is untouched)
# and runs the test suite against that build. Any report fails the run.
# The build also keeps trees of more than 4095 points at 64-bit indices (32
# bits otherwise), so that the suite runs both widths.
# Usage: tools/sanitize.sh [pytest args]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${TESSARON_SANITIZE_TARGET:-build-sanitize/install}
rm -rf "$target"
TESSARON_SANITIZE=ON pip install -q --no-build-isolation --no-deps -Cbuild-dir=build-sanitize/build \
    --target "$target" .
runtime="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
# Leak detection is off: the interpreter itself keeps memory until exit.
# Allocations that are meant to fail (huge shapes) must return null, not abort.
# UBSan stops at its first report (the build uses -fno-sanitize-recover).
PYTHONPATH="$PWD/$target${PYTHONPATH:+:$PYTHONPATH}" LD_PRELOAD="$runtime" \
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    python -m pytest -q -p no:cacheprovider tests "$@"
