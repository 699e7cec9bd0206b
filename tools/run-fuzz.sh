#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer, AddressSanitizer and UBSan into
# BUILD_DIR (build-fuzz by default) and runs each from its seed corpus for SECONDS (20), two at a
# time; any finding fails, and is kept as BUILD_DIR/tests/fuzz/finding-NAME-*.
#   tools/run-fuzz.sh [BUILD_DIR [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
tools/install-deps.sh
cmake --preset fuzz -B "$build" -DCOMUTEL_FUZZ_SECONDS="${2:-20}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -L fuzz --output-on-failure -j2
