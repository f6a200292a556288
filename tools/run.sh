#!/usr/bin/env bash
# Installs what is missing, builds, and starts the demo program with simulated units.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/deps.sh"
"$top/tools/build.sh" "$top/build"
cd "$top/build"   # translations are looked up in the working directory
exec ./app/ostrel-riz-demo "$@"
