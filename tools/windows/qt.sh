#!/usr/bin/env bash
# Puts Qt 5.15.8 for x86_64-w64-mingw32 (qtbase + qtsvg, shared, release) in
# DEST/qt5-mingw64: unpacked from a prebuilt tarball when one is given
# (argument, OSTREL_QT_MINGW, or ../shared/toolchains beside this checkout),
# otherwise built from Debian's own source packages of the Qt we use on Linux
# (about an hour on two cores). Prints the Qt folder.
#   tools/windows/qt.sh DEST [TARBALL]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dest=$(mkdir -p "${1:?DEST}" && cd "$1" && pwd)
tarball=${2:-${OSTREL_QT_MINGW:-}}
shared=$top/../shared/toolchains/qt-5.15.8-mingw64.tar.xz
if [ -z "$tarball" ] && [ -f "$shared" ]; then tarball=$shared; fi
qt=$dest/qt5-mingw64
if [ -f "$qt/lib/cmake/Qt5/Qt5Config.cmake" ]; then
  echo "$qt"; exit 0
fi
if [ -n "$tarball" ]; then
  echo "Unpacking $tarball" >&2
  tar -C "$dest" -xJf "$tarball"
  echo "$qt"; exit 0
fi

echo "No Qt tarball: building Qt for Windows from Debian's sources (about an hour)" >&2
work=$dest/qt-src
prefix=$qt
need=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix dpkg-dev xz-utils python3 perl)
missing=(); for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
  apt-get update -qq; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
fi
# Source packages need deb-src entries: add a twin of each Debian archive entry, once.
if ! grep -qs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/*; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /debian-archive-keyring/ && /Types:[ \t]*deb([ \t\n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done >/etc/apt/sources.list.d/zz-debian-src.sources
  grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/zz-debian-src.list || true
  apt-get update -qq
fi
mkdir -p "$work" && cd "$work"
if [ ! -d qtbase-src ]; then
  apt-get source --download-only -qq qtbase-opensource-src qtsvg-opensource-src >&2
  mkdir qtbase-src qtsvg-src
  tar xJf qtbase-opensource-src_*.orig.tar.xz -C qtbase-src --strip-components=1
  tar xJf qtsvg-opensource-src_*.orig.tar.xz -C qtsvg-src --strip-components=1
  # Debian's source leaves out the non-free Wintab header: the Windows platform
  # plugin is built without Wintab tablets (pen input through the pointer API stays).
  w=qtbase-src/src/plugins/platforms/windows
  sed -i 's/QT_CONFIG(tabletevent)/0 \/\* no Wintab header in the source package \*\//' $w/qwindowscontext.cpp
  sed -i 's/^qtConfig(tabletevent) {/false { # no Wintab header in the source package/' $w/windows.pri
fi
rm -rf build-base && mkdir build-base && cd build-base
../qtbase-src/configure -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
  -prefix "$prefix" -opensource -confirm-license -release -shared -strip \
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu \
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype \
  -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql -silent >&2
make -j"$(nproc)" >make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
make install >/dev/null
cd "$work" && rm -rf build-svg && mkdir build-svg && cd build-svg
"$prefix/bin/qmake" ../qtsvg-src >&2 && make -j"$(nproc)" >make.log 2>&1 && make install >/dev/null
for f in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$f)" "$prefix/bin/" 2>/dev/null ||
    cp "$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 -name "$f" | head -n1)" "$prefix/bin/"
done
echo "$qt"
