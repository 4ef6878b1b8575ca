#!/usr/bin/env bash
# Builds the sdist and, from it, the wheel; checks that the sdist holds the
# sources and none of the local build folders, installs that wheel in a fresh
# virtual environment and runs the tests of what the sdist must carry (the
# module's files, stubs, docstrings, examples and README) against it. The
# whole suite runs on the same build in the other steps.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# From elsewhere: the project's own build/ folder would shadow the build module.
(cd "$out" && python -m build --no-isolation --outdir "$out/dist" "$project") >"$out/build.log" 2>&1 ||
    { tail -30 "$out/build.log"; exit 1; }
sdist=$(ls "$out"/dist/tessaron-*.tar.gz)
ls "$out"/dist/tessaron-*.whl >/dev/null
listing=$(tar -tzf "$sdist")
for needed in pyproject.toml CMakeLists.txt README.md src/python/module.cpp src/spatial/query.hpp \
    stubs/tessaron-stubs/__init__.pyi tools/docstrings.py tests/test_spatial.py examples/quickstart.py; do
    grep -q "^tessaron-[^/]*/$needed$" <<<"$listing" || { echo "sdist lacks $needed"; exit 1; }
done
if grep -E '^tessaron-[^/]*/(build[^/]*|\.git|dist)/' <<<"$listing" | head -1 | grep -q .; then
    echo "sdist carries local build output"; exit 1
fi
tar -xzf "$sdist" -C "$out"
python -m venv --system-site-packages "$out/venv"
"$out/venv/bin/pip" install -q --no-deps --force-reinstall "$out"/dist/tessaron-*.whl
cd "$out"/tessaron-*/
"$out/venv/bin/python" -c 'import tessaron, sys; assert "/venv/" in tessaron.__file__, tessaron.__file__'
echo "sdist: $(basename "$sdist"), $(wc -l <<<"$listing") files; testing its installation"
"$out/venv/bin/python" -m pytest -q -p no:cacheprovider tests/test_module.py tests/test_docstrings.py \
    tests/test_stubs.py tests/test_examples.py tests/test_signatures.py
