#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# CPU cost of live capture: 600 one-second periods through the real PortAudio device, fed by
# ALSA's file plugin (which delivers as fast as it is read, so this measures cost, not waiting).
# Prints the soak's own line and /usr/bin/time's figures, and the CPU per second of audio.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-/tmp/build-capture-rel}
periods=${PERIODS:-600}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target capture_soak >/dev/null
times=$(mktemp)
trap 'rm -f "$times"' EXIT
/usr/bin/time -f "%U %S %e %M" -o "$times" "$build/tests/input/capture_soak" "$periods"
read -r user sys wall rss <"$times"
awk -v u="$user" -v s="$sys" -v w="$wall" -v m="$rss" -v n="$periods" 'BEGIN {
  printf "whole program: %.2f s user + %.2f s sys, %.2f s wall, %d KB peak RSS\n", u, s, w, m
  printf "CPU per second of audio: %.2f ms\n", (u + s) * 1000 / n
}'
