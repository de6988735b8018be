#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Installs every Debian package that building, running and testing Blipcount needs.
# Idempotent: asks apt only for what is missing, and updates the package lists once at most.
# Usage: scripts/setup.sh [--bench]   (--bench adds the tools of the load measurements)
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git clang clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # program
  qt6-base-dev libgl-dev portaudio19-dev libasound2-dev libasound2-plugins
  libjpeg-turbo-progs fonts-dejavu-core libsqlite3-dev
  # tests: the real browser for the status page, the JPEG decoder; a display of their own and
  # real key presses for the program's dialogs; Python's csv and json modules that read the
  # export back; a private D-Bus bus for the desktop notifications
  chromium xvfb xdotool python3 dbus-daemon
  # tests of the package's files: the desktop entry, the AppStream metainfo, the manual page
  desktop-file-utils appstream man-db
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(wrk nginx-light curl imagemagick x11-utils hyperfine)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
