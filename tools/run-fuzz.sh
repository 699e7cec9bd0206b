#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer, AddressSanitizer and UBSan into
# BUILD_DIR (build-fuzz by default) and runs each from its seed corpus for SECONDS (20), two at a
# time; any finding fails, and is kept as BUILD_DIR/tests/fuzz/finding-NAME-*.
#   tools/run-fuzz.sh [BUILD_DIR [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
tools/install-deps.sh
cmake -S . -B "$build" -DCOMUTEL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCOMUTEL_FUZZ_SECONDS="${2:-20}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -L fuzz --output-on-failure -j2
