#!/usr/bin/env bash
# Builds tessaron and runs its test suite under CPython 3.14, inside a Debian
# unstable chroot that carries 3.14 and every build and test dependency, so
# the run needs nothing from PyPI. The chroot is made once and cached outside
# the work tree; a half-made one (an interrupted run) is detected and rebuilt.
# Then the same again under CPython's debug build (python3.14d, which checks
# reference counts and C-API use) in development mode, with the extension
# built against its headers.
#
# Usage: tools/py314.sh [pytest arguments...]      (as root)
# Environment: TESSARON_PY314_ROOT overrides the cache folder;
# TESSARON_PY314_DEBUG_ONLY=1 runs the debug build alone (CI's choice: it is
# CPython 3.14 too, with the stricter checks).
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
root=${TESSARON_PY314_ROOT:-$HOME/.cache/tessaron/py314-sid}
stamp=$root/.tessaron-chroot-complete
packages=python3,python3-dev,python3-venv,python3-pip,python3-numpy,python3-pytest,python3-hypothesis,python3-scipy,python3-sklearn,python3-scikit-build-core,python3.14-dbg,g++,cmake,ninja-build

make_chroot() {
    echo "py314: creating the Debian unstable chroot in $root (once; a few minutes)"
    if ! command -v debootstrap >/dev/null; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    fi
    local partial=$root.partial
    rm -rf "$partial"
    mkdir -p "$(dirname "$root")"
    debootstrap --variant=minbase --include="$packages" sid "$partial" >"$partial.log" 2>&1 ||
        { tail -20 "$partial.log"; echo "py314: debootstrap failed" >&2; exit 1; }
    # Only a chroot whose interpreter runs is trusted.
    chroot "$partial" python3 -c 'import sys; assert sys.version_info[:2] == (3, 14), sys.version' ||
        { echo "py314: the chroot has no CPython 3.14" >&2; exit 1; }
    rm -rf "$root"
    mv "$partial" "$root"
    rm -f "$partial.log"
    touch "$stamp"
}

[ -f "$stamp" ] || make_chroot
# Chroots made before the debug interpreter joined the package list get it now.
if [ ! -x "$root/usr/bin/python3.14d" ]; then
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3.14-dbg >/dev/null
fi

# A fresh copy of the work tree (without build output) for this run.
work=$root/work
rm -rf "$work"
mkdir -p "$work/tessaron"
tar -C "$project" --exclude=./build --exclude='./build-*' --exclude=./.git --exclude='*.so' --exclude=__pycache__ \
    --exclude=.pytest_cache --exclude=.hypothesis -cf - . | tar -C "$work/tessaron" -xf -

mounted=0
if ! mountpoint -q "$root/proc"; then
    mount -t proc proc "$root/proc" 2>/dev/null && mounted=1 || true
fi
cleanup() { [ "$mounted" = 1 ] && umount "$root/proc" 2>/dev/null || true; }
trap cleanup EXIT

quoted_args=$(printf ' %q' "$@")
env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 CI="${CI:-}" \
    TESSARON_WERROR="${TESSARON_WERROR:-OFF}" DEBUG_ONLY="${TESSARON_PY314_DEBUG_ONLY:-}" \
    chroot "$root" /bin/bash -euo pipefail -c "
        cd /work
        if [ -z \"\$DEBUG_ONLY\" ]; then
            python3 -m venv --system-site-packages venv
            venv/bin/pip install -q --no-build-isolation --no-deps ./tessaron
            cd tessaron
            ../venv/bin/python -c 'import sys; print(\"py314: testing on CPython\", sys.version.split()[0])'
            ../venv/bin/python -m pytest -q -p no:cacheprovider tests $quoted_args
            cd /work
        fi
        python3.14d -m venv --system-site-packages venvd
        venvd/bin/pip install -q --no-build-isolation --no-deps ./tessaron
        cd tessaron
        ../venvd/bin/python -c 'import sys, tessaron; print(\"py314: testing on the debug build\", sys.version.split()[0], tessaron.__file__.rsplit(\"/\", 1)[-1])'
        PYTHONMALLOC=debug ../venvd/bin/python -X dev -m pytest -q -p no:cacheprovider tests $quoted_args
    "
