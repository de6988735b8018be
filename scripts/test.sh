#!/usr/bin/env bash
# Sets up, builds and runs every test under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan "$@"
