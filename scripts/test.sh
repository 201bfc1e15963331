#!/usr/bin/env bash
# The whole test suite: the layering of the sources, the normal build,
# AddressSanitizer + UBSan, the threaded tests under ThreadSanitizer, clang's
# thread-safety analysis, and a bounded run of the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${ZKQ_FUZZ_SECONDS:-30}

echo "=== layering (docs/ARCHITECTURE.md) ==="
scripts/check_layers.sh

echo "=== clang thread-safety analysis ==="
scripts/thread_safety.sh

for preset in default asan; do
  echo "=== preset $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "=== preset tsan (threaded tests) ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target threads_tests
ctest --preset tsan -j "$jobs"

echo "=== fuzz targets (${fuzz_seconds}s each) ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
tests/fuzz/run.sh build/fuzz "$fuzz_seconds"
echo "=== all tests passed ==="
