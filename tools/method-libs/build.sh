#!/usr/bin/env bash
# Cross-builds, statically for MinGW-w64, the libraries tunzip.exe reads
# bzip2, LZMA, XZ and Zstandard with: Debian's own source packages of the
# versions the native build links (apt-get source, with Debian's patches),
# so that both builds decode with the same code. Only the decoders' parts
# are needed, and only they are built.
# usage: build.sh TRIPLET PREFIX WORK_DIR
set -euo pipefail
triplet=$1
prefix=$(mkdir -p "$2" && cd "$2" && pwd)
work=$(mkdir -p "$3" && cd "$3" && pwd)
cc=$triplet-gcc-posix
ar=$triplet-ar
[ -f "$prefix/lib/libzstd.a" ] && [ -f "$prefix/lib/liblzma.a" ] && [ -f "$prefix/lib/libbz2.a" ] && exit 0

# The binary packages name the source packages and their versions.
source_of() {  # source_of BINARY_PACKAGE
  dpkg-query -W -f='${source:Package}=${source:Version}' "$1"
}
cd "$work"
# A mirror may lack the source of a security update the binary came from:
# then the source of the same upstream version, which the lists still name.
for package in libbz2-dev liblzma-dev libzstd-dev; do
  source=$(source_of "$package")
  name=${source%%=*} version=${source#*=}
  upstream=${version#*:}
  upstream=${upstream%-*}
  ls -d "$name-$upstream"/ >/dev/null 2>&1 && continue
  for candidate in "$version" $(apt-cache showsrc "$name" | sed -n 's/^Version: //p'); do
    [ "${candidate%-*}" = "${version%-*}" ] || continue
    apt-get source -qq "$name=$candidate" >/dev/null 2>&1 && break
  done
  if ! ls -d "$name-$upstream"/ >/dev/null 2>&1; then
    echo "method-libs: no source of $name $upstream (is deb-src in apt's sources?)" >&2
    exit 1
  fi
done
mkdir -p "$prefix/lib" "$prefix/include"

compile_archive() {  # compile_archive NAME FLAGS -- SOURCES...
  local name=$1 flags=$2; shift 3
  local objects=()
  mkdir -p "obj-$name"
  for source in "$@"; do
    local object="obj-$name/$(basename "${source%.c}").o"
    $cc -O2 $flags -c "$source" -o "$object"
    objects+=("$object")
  done
  rm -f "$prefix/lib/lib$name.a"
  $ar rcs "$prefix/lib/lib$name.a" "${objects[@]}"
}

bz=$(ls -d bzip2-*/ | head -n 1)
bz=${bz%/}
compile_archive bz2 "-D_FILE_OFFSET_BITS=64" -- \
  "$bz"/{blocksort,huffman,crctable,randtable,compress,decompress,bzlib}.c
cp "$bz/bzlib.h" "$prefix/include/"

zs=$(ls -d libzstd-*/ | head -n 1)
zs=${zs%/}
compile_archive zstd "-DZSTD_DISABLE_ASM -DZSTD_MULTITHREAD=0 -I$zs/lib -I$zs/lib/common" -- \
  "$zs"/lib/common/*.c "$zs"/lib/decompress/*.c
cp "$zs"/lib/zstd.h "$zs"/lib/zstd_errors.h "$prefix/include/"

xz=$(ls -d xz-utils-*/ | head -n 1)
xz=${xz%/}
cmake -S "$xz" -B "xz-build" -G Ninja -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_RC_COMPILER="$triplet-windres" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build xz-build --target liblzma >/dev/null
cp xz-build/liblzma.a "$prefix/lib/"
cp -r "$xz"/src/liblzma/api/lzma.h "$xz"/src/liblzma/api/lzma "$prefix/include/"
