#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# clang-tidy over every C++ source of the tree (the checks of .clang-tidy, our headers
# included through its header filter), with every warning an error. A source that no build
# compiles is an error too, so nothing is left out unseen.
#   scripts/tidy.sh            all sources
#   scripts/tidy.sh FILE...    just those
set -euo pipefail
cd "$(dirname "$0")/.."
# The debug preset's compile commands (the tests' flags without a sanitizer's), and the fuzz
# preset's for the fuzz targets, which only it builds. Qt's generated sources must exist before
# clang-tidy reads what includes them, so the debug build is built.
cmake --preset debug >/dev/null
cmake --build --preset debug >/dev/null
cmake --preset fuzz >/dev/null

if (($# > 0)); then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp')
fi
main=()
fuzz=()
for file in "${files[@]}"; do
  if [[ "$file" == fuzz/* ]]; then
    database=build/fuzz/compile_commands.json
    fuzz+=("$PWD/$file")
  else
    database=build/debug/compile_commands.json
    main+=("$PWD/$file")
  fi
  if ! grep -qF "\"file\": \"$PWD/$file\"" "$database"; then
    echo "tidy: no build compiles $file, so it cannot be checked" >&2
    exit 1
  fi
done

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
for set in main fuzz; do
  declare -n list="$set"
  ((${#list[@]} == 0)) && continue
  build=build/debug
  [[ "$set" == fuzz ]] && build=build/fuzz
  # run-clang-tidy takes each argument as a pattern; the paths are anchored so each names one.
  run-clang-tidy -p "$build" -j "$(nproc)" -quiet \
    "${list[@]/%/\$}" >"$log" 2>&1 || status=1
  grep -v -E '^(Running clang-tidy|clang-tidy-[0-9]+ |[0-9]+ warnings? (and [0-9]+ errors? )?generated|Suppressed [0-9]+ warnings|Use -header-filter)' "$log" || true
done
if ((status != 0)); then
  echo "tidy: clang-tidy found problems (above)" >&2
fi
exit "$status"
