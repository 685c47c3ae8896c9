#!/usr/bin/env bash
# Builds everything from scratch in build/ and runs the whole test suite.
# With PALVORIN_PG set (a libpq connection string) the tests of the engine, the record-file
# layer and the receipts run a second time with every data folder on that PostgreSQL server.
# With SANITIZE=1 it builds in build-asan/ under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/deps.sh"
dir=build
flags=(-DPALVORIN_WERROR=ON)
if [ "${SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  flags+=(-DPALVORIN_SANITIZE=ON -DPALVORIN_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The tests on a PostgreSQL server need its connection string (scripts/pgserver.sh starts one).
skip=()
if [ -z "${PALVORIN_PG:-}" ]; then
  echo "PALVORIN_PG is not set: the tests on a PostgreSQL server are skipped"
  skip=(-LE server)
fi
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600 "${skip[@]}"
