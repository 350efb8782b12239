#!/usr/bin/env bash
# Sets up the machine, builds the console and runs it on a demo data root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset default
cmake --build --preset default

if [[ ! -x build/bin/zelmo-console ]]; then
    echo "demo: the console executable is not built yet; nothing to run."
    exit 0
fi
exec build/bin/zelmo-console "$@"
