#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time on its
# corpus (seeds/<name>/ plus what earlier runs found in corpus/<name>/).
# Fails when a target finds a crash, a leak or a timeout.
#
# usage: tests/fuzz/run.sh <fuzz-build-dir> <seconds per target>
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <fuzz-build-dir> <seconds per target>" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
dir="$build/tests/fuzz"

shopt -s nullglob
targets=("$dir"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $dir (build the fuzz preset first)" >&2
  exit 1
fi

failed=0
for target in "${targets[@]}"; do
  [ -x "$target" ] || continue
  name=$(basename "$target" _fuzz)
  corpus="$dir/corpus/$name"
  artifacts="$dir/artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$dir/seeds/$name" ] && seeds=("$dir/seeds/$name")
  echo "--- $name: ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "${seeds[@]}" \
       > "$dir/$name.log" 2>&1; then
    echo "FAILED: $name (log: $dir/$name.log, inputs: $artifacts)" >&2
    tail -n 40 "$dir/$name.log" >&2
    failed=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$dir/$name.log" | tail -n 2 || true
  fi
done
exit $failed
