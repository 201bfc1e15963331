#!/usr/bin/env bash
# Builds the library and runs the demo application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target demo
exec build/default/bin/demo "$@"
