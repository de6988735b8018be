#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Sets up, builds and starts Blipcount in its working directory.
#   scripts/run.sh             the audio line input of this machine
#   scripts/run.sh --demo      a simulated meter as the line input (no meter needed), 30 CPM
#   scripts/run.sh --demo=CPM  the same at another mean rate
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
args=()
demo=0
case "${1:-}" in
  --demo | --demo=*)
    demo=1
    args=("$1")
    ;;
esac
scripts/setup.sh
cmake --preset release
cmake --build --preset release
if [[ ! -x build/release/ui/blipcount ]]; then
  echo "The desktop program did not build." >&2
  exit 1
fi
workdir="${BLIPCOUNT_HOME:-$HOME/.local/share/blipcount}"
if ((demo)); then
  # The demo keeps its settings, data and pictures apart from those of the real meter. Its
  # first settings take ten-second periods, six to a run: at a background rate a one-second
  # period holds a click or two, and the average moves in steps of 60 CPM.
  workdir="$workdir/demo"
  mkdir -p "$workdir"
  if [[ ! -e "$workdir/blipcount.ini" ]]; then
    printf '%s\n' "sampletime 10" "repeat 6" "threshold 100" "scale 600.000000" "webport 700" \
      "timingticksperminute 0" "autostart 0" "scrollwidth 60" "   Counts Per Minute   " \
      "savegraph 0" "coincidence 0" >"$workdir/blipcount.ini"
  fi
  echo "Demo: the line input is a simulated meter ($1; blipcount --help tells its rate)." \
    "Press Start."
fi
mkdir -p "$workdir"
cp -f ui/Help.html "$workdir/Help.html"

cd "$workdir"
exec "$source_dir/build/release/ui/blipcount" "${args[@]}"
