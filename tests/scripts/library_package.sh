#!/usr/bin/env bash
# The reading library as another project uses it: `cmake --install` puts its
# headers, static libraries and package configuration in place, the example
# program is configured with find_package against them, built, and lists and
# extracts an archive as tunzip does.
# usage: library_package.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
scratch=$build/scratch/library_package
rm -rf "$scratch"
mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for header in Archive Entry EntryStream Error ExtraField MemberPath Sink Source StreamReader; do
  [ -f "$scratch/prefix/include/tessaline/zip/$header.h" ] || fail "zip/$header.h not installed"
done
# The installed headers stand on their own: nothing of the reader's units
# or of the library's engine.
if grep -l '#include "\(archive\|rtl\|os\|zip/engine\)/' "$scratch/prefix/include/tessaline/zip/"*.h; then
  fail "an installed header includes the reader's own units"
fi
# A sanitized tree's libraries need the sanitizers' runtime in the program.
flags=()
if grep -q '^TESSALINE_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  flags=(-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined)
fi
cmake -S "$source_dir/examples/zipls" -B "$scratch/zipls" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" "${flags[@]}" >"$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log"; fail "find_package(TessalineZip) failed"; exit 1; }
cmake --build "$scratch/zipls" >"$scratch/build.log" 2>&1 ||
  { cat "$scratch/build.log"; fail "the example does not build against the package"; exit 1; }

python3 - "$scratch/a.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("docs/readme.txt", "read me\n" * 1000)
    z.writestr("empty", b"")
PY
listed=$("$scratch/zipls/zipls" "$scratch/a.zip")
expected=$(printf '%10s  %s  %s\n' 8000 910e9a5f docs/readme.txt 0 00000000 empty)
[ "$listed" = "$expected" ] || fail "listing: got '$listed', expected '$expected'"
"$scratch/zipls/zipls" "$scratch/a.zip" docs/readme.txt >"$scratch/readme.txt"
"$build/tools/tunzip/tunzip" -p "$scratch/a.zip" docs/readme.txt >"$scratch/readme.tunzip"
cmp -s "$scratch/readme.txt" "$scratch/readme.tunzip" || fail "extracted bytes differ from tunzip -p's"
[ "$(wc -c <"$scratch/readme.txt")" = 8000 ] || fail "extracted $(wc -c <"$scratch/readme.txt") bytes"

[ $failures -eq 0 ] && echo "library package: installed, found, built and used" || exit 1
