#!/usr/bin/env bash
# Sets up, builds and starts Blipcount in its working directory.
#   scripts/run.sh          the audio line input of this machine
#   scripts/run.sh --demo   the shipped click recording played as the line input
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release
cmake --build --preset release
if [[ ! -x build/release/ui/blipcount ]]; then
  echo "The desktop program is not built yet: the measurement core and its tests are." >&2
  exit 1
fi
workdir="${BLIPCOUNT_HOME:-$HOME/.local/share/blipcount}"
mkdir -p "$workdir"
cp -f ui/Help.html "$workdir/Help.html"
cd "$workdir"
exec "$OLDPWD/build/release/ui/blipcount"
