#!/usr/bin/env bash
# Sets up, builds the Linux program and starts it: the wizard on a display,
# the console flow without one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux -DLVN_BUILD_TESTS=OFF -DLVN_BUILD_BENCH=OFF >/dev/null
cmake --build --preset linux --target lvn
exec build/linux/lvn "$@"
