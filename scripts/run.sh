#!/usr/bin/env bash
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
  if [[ ! -s "$raw" ]]; then
    # One second of the line input: 9 clicks, each a jump of 140 above the quiet level that
    # decays by one per sample, which the default threshold (100) counts once.
    second="$demodir/second.raw"
    : >"$second"
    {
      quiet=$(printf '\\%03o' 60)
      for ((click = 0; click < 9; click++)); do
        for ((i = 0; i < 140; i++)); do printf "\\$(printf '%03o' $((200 - i)))"; done
        for ((i = 140; i < 1225; i++)); do printf "$quiet"; done
      done
    } >"$second"
    # An hour of it: the plugin plays the file once, and reads ahead while a period is counted.
    for ((i = 0; i < 3600; i++)); do cat "$second"; done >"$raw"
    rm -f "$second"
  fi
  sed "s|@RAW@|$raw|" "$source_dir/scripts/demo-alsa.conf" >"$demodir/asound.conf"
  export ALSA_CONFIG_PATH="$demodir/asound.conf"
  echo "Demo: the line input plays $raw (9 clicks per second). Press Start."
fi

cd "$workdir"
exec "$source_dir/build/release/ui/blipcount"
