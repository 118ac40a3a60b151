#!/usr/bin/env bash
# Builds the default preset and runs every test (installing the Debian packages first if needed).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)"
