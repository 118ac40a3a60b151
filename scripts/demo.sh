#!/usr/bin/env bash
# Builds the module, the stand-in host and the renderer, then renders the built-in example
# transition into out/demo (frames and a contact sheet).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target velmorblind VelmorBlind
./build/default/bin/velmorblind demo -o out/demo "$@"
