#!/usr/bin/env bash
# Fails when a source file includes from a folder above its own layer:
# app, cli -> panels -> plan -> config -> device; inside device, the root
# (ftd2xx.h, link, flash) -> model -> its doors, and no backend includes another.
set -euo pipefail
top=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$top"
rank() {
  case $1 in
    device/usb|device/sim|device/usbemu|device/d2xx) echo 1 ;;
    device/model) echo 0.5 ;;
    device) echo 0 ;;
    config) echo 2 ;;
    plan) echo 3 ;;
    panels) echo 4 ;;
    app|cli) echo 5 ;;
    *) echo "" ;;
  esac
}
folder() { # the layer folder of a path: device/<backend> or the top folder
  local f=$1 top=${1%%/*}
  if [ "$top" = device ]; then
    local rest=${f#device/}
    case $rest in */*) echo "device/${rest%%/*}" ;; *) echo device ;; esac
  else
    echo "$top"
  fi
}
bad=0
while IFS= read -r file; do
  from=$(folder "$file")
  fr=$(rank "$from")
  [ -n "$fr" ] || continue
  while IFS= read -r inc; do
    to=$(folder "$inc")
    tr=$(rank "$to")
    [ -n "$tr" ] || continue
    [ "$to" = "$from" ] && continue
    # Beside each other (two doors, two programs) is as wrong as above.
    if awk -v a="$tr" -v b="$fr" 'BEGIN { exit !(a >= b) }'; then
      echo "$file includes $inc ($to is not below $from)"
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\/[^"]*\)".*/\1/p' "$file")
done < <(find app cli panels plan config device -name '*.h' -o -name '*.cpp' | sort)
exit $bad
