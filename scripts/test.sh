#!/usr/bin/env bash
# Installs what is missing, checks formatting, layering and headers, builds and runs every test: the
# unit, widget, scanner-library, end-to-end and packaging tests; then everything built again
# under AddressSanitizer and UndefinedBehaviorSanitizer and the unit, widget and
# scanner-library tests run there, and each fuzzer for a bounded time from its seed corpus
# while clang-tidy checks the sources.
# "bash scripts/test.sh --quick" stops after the first part.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/lint.sh --no-tidy
bash scripts/build.sh
ctest --preset default -j "$(nproc)"
[ "${1:-}" = --quick ] && exit 0

cmake --preset asan >/dev/null
fuzzers=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)"

# clang-tidy takes minutes of processor time; it runs while the fuzzers run for their fixed
# time (they only get fewer runs done meanwhile).
setsid bash scripts/lint.sh --tidy >build/tidy.log 2>&1 &
tidy=$!
trap 'kill -- -"$tidy" 2>/dev/null || true' EXIT

seconds=${FUZZ_SECONDS:-60}
for fuzzer in $fuzzers; do
  name=${fuzzer#fuzz_}
  corpus=$(mktemp -d /tmp/vistoramo-corpus.XXXXXX)
  cp fuzz/corpus/"$name"/* "$corpus"/
  echo "Fuzzing $name for ${seconds}s"
  if ! build/asan/bin/"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix=build/asan/ "$corpus" \
       >build/asan/"$fuzzer".log 2>&1; then
    tail -n 40 build/asan/"$fuzzer".log
    rm -rf "$corpus"
    echo "FAILED: fuzzer $name found a fault (input in build/asan/)"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' build/asan/"$fuzzer".log || true
  rm -rf "$corpus"
done
status=0
wait "$tidy" || status=$?
trap - EXIT
cat build/tidy.log
[ $status = 0 ] || exit $status
echo "Fuzzers: $(echo $fuzzers | wc -w) passed, 0 failed"
