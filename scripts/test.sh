#!/usr/bin/env bash
# Sets up the machine, builds and runs every test.
#   scripts/test.sh          the normal build (build/)
#   scripts/test.sh asan     the AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

scripts/setup-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
