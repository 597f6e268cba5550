#!/usr/bin/env bash
# Installs the libraries the benchmarks compare against (from Debian's packages), builds
# bench/ optimised and runs every benchmark program. Extra arguments go to each program
# (for example --benchmark_filter=Md5).
set -eu
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ORLIX_ROOT"

orlix_install_packages "${ORLIX_BUILD_PACKAGES[@]}" libbenchmark-dev \
    libssl-dev zlib1g-dev libspdlog-dev libfmt-dev libjemalloc-dev libboost-dev \
    libisal-dev libdeflate-dev libicu-dev libabsl-dev libmimalloc-dev

BUILD="${ORLIX_BENCH_DIR:-$ORLIX_ROOT/build-bench}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DORLIX_BUILD_TESTS=OFF -DORLIX_BUILD_EXAMPLES=OFF -DORLIX_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$ORLIX_JOBS"
for program in "$BUILD"/bench/bench_*; do
    [ -x "$program" ] || continue
    echo
    echo "==== $(basename "$program") ===="
    "$program" "$@"
done
