#!/usr/bin/env bash
# Builds the `fuzz` preset (clang 14, libFuzzer, address and undefined-behaviour sanitizers) and
# runs every fuzz target in turn for SECONDS each (default 60), one at a time: the targets the build
# declares (tests/fuzz/CMakeLists.txt), as it lists them in build/fuzz/fuzz_targets.txt. For each
# target it prints the executions, the coverage reached and any finding with the path of its
# reproducer.
# Inputs the fuzzer keeps go to build/fuzz/runs/TARGET/corpus (the seeds in tests/fuzz/corpus stay
# as they are). Exit status 1 when any target found something.
#
# A reproducer replays with: build/fuzz/bin/fuzz_TARGET FILE
# Once fixed, copy it to tests/fuzz/corpus/TARGET/regression-NAME so that the test suite replays it.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j "$(nproc)" >/dev/null || { cmake --build --preset fuzz -j 1; exit 1; }
list=build/fuzz/fuzz_targets.txt
[ -s "$list" ] || { echo "the fuzz build lists no targets ($list)"; exit 1; }

findings=0
while read -r t program; do
  # No input the parsers meet deserves more memory than this: more is reported as a finding.
  limits=(-rss_limit_mb=2048 -malloc_limit_mb=256 -timeout=30)
  if [ "$t" = image ]; then
    # Image libraries allocate what a header declares before finding the file short (OpenEXR: up
    # to 2 GB for one attribute, never touched), so the image target allows that much. The reader
    # silences stderr around the libraries; the fuzzer's and the sanitizers' reports go to a
    # descriptor of their own (close_fd_mask) so that a crash there is still shown.
    limits=(-rss_limit_mb=2560 -malloc_limit_mb=2560 -timeout=30 -close_fd_mask=2)
  fi
  work="build/fuzz/runs/$t"
  mkdir -p "$work/corpus" "$work/artifacts"
  start=$(date +%s)
  "$program" -max_total_time="$seconds" -print_final_stats=1 "${limits[@]}" \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "tests/fuzz/corpus/$t" >"$work/log" 2>&1 </dev/null
  status=$?
  took=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  cov=$(grep -E '^#[0-9]+.* cov: ' "$work/log" | tail -n 1 | sed -E 's/.* cov: ([0-9]+) ft: ([0-9]+).*/\1 edges, \2 features/')
  printf '%-7s %4ss  %10s executions  coverage %s\n' "$t" "$took" "${execs:-?}" "${cov:-?}"
  if [ "$status" -ne 0 ]; then
    findings=$((findings + 1))
    reason=$(grep -m 1 -E 'ERROR: |fuzz check failed|runtime error' "$work/log")
    reproducer=$(grep -o 'Test unit written to .*' "$work/log" | tail -n 1 | sed 's/Test unit written to //')
    echo "  FINDING: ${reason:-exit status $status}"
    echo "  reproducer: ${reproducer:-none written}   log: $work/log"
  fi
done <"$list"
[ "$findings" -eq 0 ] || { echo "$findings target(s) found something"; exit 1; }
