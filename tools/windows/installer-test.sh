#!/usr/bin/env bash
# Installs the Windows installer silently under Wine into a scratch folder,
# checks what it put there, asks the installed tool its version, starts the
# installed window and looks for its title on the X display, then uninstalls
# and checks that nothing is left. Needs DISPLAY (xvfb-run) and OSTREL_WINEPREFIX.
#   tools/windows/installer-test.sh INSTALLER.exe
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
installer=$(readlink -f "${1:?installer}")
wine=$here/wine.sh
prefix=${OSTREL_WINEPREFIX:-$HOME/.wine-ostrel}
export OSTREL_WINEPREFIX=$prefix
dir='C:\ostrel-riz-install-test'
unix=$prefix/drive_c/ostrel-riz-install-test
menu=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Ostrel\ RIZ\ edaradovuzur
fail() { echo "installer test: $*" >&2; exit 1; }

rm -rf "$unix"
"$wine" "$installer" /S "/D=$dir"
for f in ostrel-riz.exe ostrel-riz-demo.exe ostrel-riz-cli.exe Qt5Core.dll Qt5Widgets.dll Qt5Svg.dll \
         libstdc++-6.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll \
         language_it.qm help/help_it.pdf Uninstall.exe; do
  [ -f "$unix/$f" ] || fail "not installed: $f"
done
for exe in ostrel-riz ostrel-riz-demo ostrel-riz-cli; do
  strings -n 3 -el "$unix/$exe.exe" | grep -qx "1\.1" || fail "$exe.exe carries no version record"
done
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ostrel-riz'
"$wine" reg query "$key" >/dev/null 2>&1 || fail "no uninstall entry in the registry"
for link in "Ostrel RIZ.lnk" "Ostrel RIZ demo.lnk"; do
  [ -f "$menu/$link" ] || fail "no Start-menu entry $link"
  # "Start in" is the install folder, where the translation is looked for.
  strings -el "$menu/$link" | grep -qxF "$dir" || fail "$link does not start in $dir"
done

# To a file, not through $(...): Wine's server would hold the pipe open.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$wine" "$dir\\ostrel-riz-cli.exe" --version >"$out"
grep -q "^ostrel-riz-cli 1\.1" "$out" || fail "ostrel-riz-cli --version said: $(cat "$out")"

# The installed product starts (without FTDI's driver here) and shows its title.
( cd "$unix" && exec "$wine" "$dir\\ostrel-riz.exe" ) &
app=$!
shown=
for _ in $(seq 60); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Ostrel RIZ edaradovuzur"'; then shown=yes; break; fi
  sleep 1
done
"$wine" --stop
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
[ -n "$shown" ] || fail "the installed window did not show its title"

"$wine" "$dir\\Uninstall.exe" /S
for _ in $(seq 60); do
  [ -e "$unix" ] || break
  sleep 1
done
[ ! -e "$unix" ] || fail "left behind: $(cd "$unix" && find . | head -20)"
[ ! -e "$menu" ] || fail "Start-menu folder left behind"
if "$wine" reg query "$key" >/dev/null 2>&1; then
  fail "uninstall entry left in the registry"
fi
echo "installer test: installed, ran, uninstalled without a trace"
