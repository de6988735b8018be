#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Builds the libFuzzer targets (clang, the fuzz preset) and runs each one on its seed corpus.
#   scripts/fuzz.sh              a minute each (what CI runs)
#   scripts/fuzz.sh 600          ten minutes each
#   scripts/fuzz.sh runs=10000000  a number of inputs each (before a release: 10^7)
# Every folder fuzz/corpus/NAME seeds the target NAME_fuzz; a target without a corpus, or a
# corpus without a target, is an error. New inputs found go to a scratch folder, not the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
limit="${1:-60}"
case "$limit" in
  runs=*) budget=(-runs="${limit#runs=}") ;;
  *) budget=(-max_total_time="$limit") ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
targets=$(sed -n 's/^add_executable(\([a-z_]*_fuzz\) .*/\1/p' fuzz/CMakeLists.txt)
for target in $targets; do
  corpus="fuzz/corpus/${target%_fuzz}"
  if [[ ! -d "$corpus" ]]; then
    echo "fuzz: $target has no seed corpus $corpus" >&2
    exit 1
  fi
done
for corpus in fuzz/corpus/*/; do
  name="$(basename "$corpus")"
  if ! grep -qx "${name}_fuzz" <<<"$targets"; then
    echo "fuzz: $corpus seeds no target ${name}_fuzz" >&2
    exit 1
  fi
done
for target in $targets; do
  name="${target%_fuzz}"
  mkdir -p "$scratch/$name"
  echo "fuzz: $target (${budget[*]})"
  # -close_fd_mask=3: the targets' own output (the program's log lines) would drown the report.
  status=0
  "build/fuzz/fuzz/$target" "${budget[@]}" -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$scratch/$name-" "$scratch/$name" "fuzz/corpus/$name" \
    >"$scratch/$name.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|==[0-9]+==|SUMMARY|INFO: Seed|Done)' \
    "$scratch/$name.log" || true
  if ((status != 0)); then
    echo "fuzz: $target failed (exit $status):" >&2
    tail -n 40 "$scratch/$name.log" >&2
    mkdir -p build/fuzz/artifacts
    cp "$scratch/$name"-* build/fuzz/artifacts/ 2>/dev/null || true
    echo "fuzz: the failing inputs are in build/fuzz/artifacts/" >&2
    exit 1
  fi
done
