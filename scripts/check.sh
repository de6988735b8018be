#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Everything CI checks, in order, stopping at the first failure:
#   1. scripts/test.sh: set-up, and every test under AddressSanitizer + UndefinedBehaviorSanitizer
#   2. formatting: clang-format over every C++ file of the tree
#   3. every test again under ThreadSanitizer
#   4. clang-tidy over every source, warnings as errors
#   5. every fuzz target for a minute on its corpus
# Each step prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."

step() {
  local name="$1"
  shift
  local started=$SECONDS
  echo "=== $name"
  "$@"
  echo "=== $name: passed in $((SECONDS - started)) s"
}

check_format() {
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

tsan_tests() {
  cmake --preset tsan
  cmake --build --preset tsan
  ctest --preset tsan
}

step "tests (asan)" scripts/test.sh
step "format" check_format
step "tests (tsan)" tsan_tests
step "clang-tidy" scripts/tidy.sh
step "fuzz" scripts/fuzz.sh 60
echo "=== all checks passed in $SECONDS s"
