#!/usr/bin/env bash
# Builds and runs the whole test suite three times:
#   1. a warnings-as-errors build with g++, every suite;
#   2. the same suites (plus the fuzz targets over their seed corpora) built with clang
#      and ORLIX_SANITIZE=address,undefined;
#   3. the concurrency suites built with ORLIX_SANITIZE=thread.
# Installs whatever Debian packages it lacks first. Exits non-zero when any stage fails.
#
# Usage: scripts/test.sh            (build trees go to build-test/)
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ORLIX_ROOT"

orlix_install_packages "${ORLIX_BUILD_PACKAGES[@]}" || exit 1

OUT="${ORLIX_TEST_DIR:-$ORLIX_ROOT/build-test}"
status=0
summary=()

# stage <name> <ctest args...> -- <cmake args...>
stage() {
    local name="$1"; shift
    local ctest_args=()
    while [ "$1" != "--" ]; do ctest_args+=("$1"); shift; done
    shift
    local dir="$OUT/$name"
    echo
    echo "==== stage $name ===="
    if ! cmake -S . -B "$dir" -G Ninja -DORLIX_WERROR=ON "$@" >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"
        echo "stage $name: configure FAILED"
        summary+=("$name: configure FAILED"); status=1; return
    fi
    if ! cmake --build "$dir" -j "$ORLIX_JOBS"; then
        echo "stage $name: build FAILED"
        summary+=("$name: build FAILED"); status=1; return
    fi
    local log="$dir.ctest.log"
    (cd "$dir" && ctest --output-on-failure -j "$ORLIX_JOBS" "${ctest_args[@]}") 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line="$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)"
    summary+=("$name: ${line:-no tests ran}")
    if [ "$rc" -ne 0 ]; then
        status=1
    fi
}

mkdir -p "$OUT"

stage release -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++

# The installed package: a program outside the tree builds against it with
# find_package(Orlix CONFIG) and with pkg-config, and runs.
package_stage() {
    echo
    echo "==== stage package ===="
    local prefix="$OUT/prefix"
    rm -rf "$prefix" "$OUT/consumer"
    if cmake --install "$OUT/release" --prefix "$prefix" >"$OUT/package.log" 2>&1 &&
        cmake -S examples/consumer -B "$OUT/consumer" -G Ninja \
            -DCMAKE_PREFIX_PATH="$prefix" >>"$OUT/package.log" 2>&1 &&
        cmake --build "$OUT/consumer" >>"$OUT/package.log" 2>&1 &&
        LD_LIBRARY_PATH="$prefix/lib" "$OUT/consumer/consumer" &&
        "$OUT/consumer/consumer_static" &&
        g++ -std=c++17 -o "$OUT/consumer/consumer_pc" examples/consumer/consumer.cpp \
            $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs orlix) \
            >>"$OUT/package.log" 2>&1 &&
        LD_LIBRARY_PATH="$prefix/lib" "$OUT/consumer/consumer_pc"; then
        summary+=("package: installed tree builds consumers with CMake and pkg-config")
    else
        cat "$OUT/package.log"
        summary+=("package: FAILED")
        status=1
    fi
}
package_stage

stage asan-ubsan -- -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORLIX_SANITIZE=address,undefined -DORLIX_BUILD_FUZZ=ON

TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
stage tsan -L concurrency -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DORLIX_SANITIZE=thread -DORLIX_TEST_LABEL=concurrency -DORLIX_BUILD_EXAMPLES=OFF

echo
echo "==== summary ===="
for line in "${summary[@]}"; do
    echo "$line"
done
if [ "$status" -ne 0 ]; then
    echo "FAILED"
else
    echo "all stages passed"
fi
exit "$status"
