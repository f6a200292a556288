#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest and the scripts: quiet, in this
# project's own prefix, never offering to download Mono or Gecko.
set -euo pipefail
# Without a console, Qt (QtTest's log, qDebug) writes to the debugger through
# OutputDebugString: Wine's debugstr channel brings those lines back to stderr
# as plain text.
export WINEDEBUG=${WINEDEBUG:--all,+debugstr}
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEPREFIX=${OSTREL_WINEPREFIX:-$HOME/.wine-ostrel}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
# --stop: ends this prefix's Wine (its desktop keeps the X display it started on).
if [ "${1:-}" = --stop ]; then
  "$wineserver" -k 2>/dev/null || true
  exit 0
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
  "$wineserver" -w 2>/dev/null || true
fi
debugstr() {
  perl -ne 'if (s/^[0-9a-f]+:\w+:debugstr:OutputDebugString[AW] L?"(.*)"\n$/$1/) {
              s/\\(.)/$1 eq "n" ? "\n" : $1 eq "t" ? "\t" : $1/ge; } print; $| = 1'
}
# Output through files, not pipes: processes Wine leaves behind (its console
# host, its services) would keep a pipe open, and whoever reads it waiting.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
rc=0
"$wine" "$@" >"$out" 2>"$err" </dev/null || rc=$?
cat "$out"
debugstr <"$err" >&2
exit $rc
