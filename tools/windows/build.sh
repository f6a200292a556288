#!/usr/bin/env bash
# Windows, in one command on a Debian machine: installs what is missing, gets
# Qt for Windows (tools/windows/qt.sh), builds the build-time generators for
# the host, cross-builds the three programs and the tests, runs the tests
# under Wine on an Xvfb display, makes the installer and the ZIP, and installs,
# starts and uninstalls that installer under Wine.
#   tools/windows/build.sh [BUILD_DIR]      (default: build-windows)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(mkdir -p "${1:-$top/build-windows}" && cd "${1:-$top/build-windows}" && pwd)
"$top/tools/deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 fonts-wine nsis xvfb xauth x11-utils

qt=$("$top/tools/windows/qt.sh" "$build")

# mapgen, artgen and helpgen run during the build: natively.
cmake -S "$top" -B "$build/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/host" -j"$(nproc)" --target mapgen artgen helpgen >/dev/null

cmake -S "$top" -B "$build/win" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/tools/windows/mingw64.cmake" \
  -DOSTREL_QT_MINGW="$qt" -DOSTREL_HOST_BUILD="$build/host" \
  -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools >/dev/null
cmake --build "$build/win" -j"$(nproc)"

# One Wine prefix per build folder, made before the tests run side by side.
# Wine is stopped before each display: its desktop stays on the one it began on.
export OSTREL_WINEPREFIX=$build/wineprefix
"$top/tools/windows/wine.sh" cmd /c exit 0
"$top/tools/windows/wine.sh" --stop
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$build/win" --output-on-failure -j"$(nproc)"

(cd "$build/win" && cpack -C Release >/dev/null)
ls -l "$build/win"/ostrel-riz-*-win64.exe "$build/win"/ostrel-riz-*-win64.zip
"$top/tools/windows/wine.sh" --stop
xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$top/tools/windows/installer-test.sh" "$(ls "$build/win"/ostrel-riz-*-win64.exe)"
"$top/tools/windows/wine.sh" --stop
