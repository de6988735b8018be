#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Sets up, builds and starts Blipcount in its working directory.
#   scripts/run.sh          the audio line input of this machine
#   scripts/run.sh --demo   a recording of clicks played as the line input (no meter needed)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
demo=0
if [[ "${1:-}" == "--demo" ]]; then
  demo=1
fi
scripts/setup.sh
cmake --preset release
cmake --build --preset release
if [[ ! -x build/release/ui/blipcount ]]; then
  echo "The desktop program did not build." >&2
  exit 1
fi
workdir="${BLIPCOUNT_HOME:-$HOME/.local/share/blipcount}"
mkdir -p "$workdir"
cp -f ui/Help.html "$workdir/Help.html"

if ((demo)); then
  demodir="$workdir/demo"
  mkdir -p "$demodir"
  raw="$demodir/clicks.raw"
  recording="$source_dir/samples/clicks-10s-9cps.wav"
  if [[ ! -s "$raw" || "$raw" -ot "$recording" ]]; then
    # The shipped recording's samples (after its 44-byte header), an hour of them: the plugin
    # plays the file once, and reads on while a period is being counted.
    tail -c +45 "$recording" >"$demodir/ten-seconds.raw"
    for ((i = 0; i < 360; i++)); do cat "$demodir/ten-seconds.raw"; done >"$raw"
    rm -f "$demodir/ten-seconds.raw"
  fi
  sed "s|@RAW@|$raw|" "$source_dir/scripts/demo-alsa.conf" >"$demodir/asound.conf"
  export ALSA_CONFIG_PATH="$demodir/asound.conf"
  echo "Demo: the line input plays $recording (9 clicks per second). Press Start."
fi

cd "$workdir"
exec "$source_dir/build/release/ui/blipcount"
