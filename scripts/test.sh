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
# find_package(Orlix CONFIG) and with pkg-config, and runs; then the same with the Debian
# packages made by cpack, installed with dpkg -i (and removed again afterwards) when this
# script runs as root, or only unpacked into the build tree otherwise.
consumer_check() { # <prefix> <build dir> <log>
    local prefix="$1" dir="$2" log="$3" libdir
    libdir="$(dirname "$(find "$prefix" -name 'liborlix.so.1' | head -1)")"
    rm -rf "$dir"
    cmake -S examples/consumer -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >>"$log" 2>&1 &&
        cmake --build "$dir" >>"$log" 2>&1 &&
        LD_LIBRARY_PATH="$libdir" "$dir/consumer" &&
        "$dir/consumer_static" &&
        g++ -std=c++17 -o "$dir/consumer_pc" examples/consumer/consumer.cpp \
            $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs orlix) >>"$log" 2>&1 &&
        LD_LIBRARY_PATH="$libdir" "$dir/consumer_pc"
}

package_stage() {
    echo
    echo "==== stage package ===="
    local log="$OUT/package.log" prefix="$OUT/prefix" ok=1
    : >"$log"
    rm -rf "$prefix"
    cmake --install "$OUT/release" --prefix "$prefix" >>"$log" 2>&1 &&
        consumer_check "$prefix" "$OUT/consumer" "$log" || ok=0

    rm -f "$OUT"/release/*.deb
    if (cd "$OUT/release" && cpack -G DEB >>"$log" 2>&1); then
        local debs=("$OUT"/release/liborlix1_*.deb "$OUT"/release/liborlix-dev_*.deb)
        rm -rf "$OUT/debroot"
        for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$OUT/debroot" || ok=0; done
        consumer_check "$OUT/debroot/usr" "$OUT/consumer-deb" "$log" || ok=0
        if [ "$(id -u)" -eq 0 ] &&
            ! dpkg-query -W -f='${Status}' liborlix1 2>/dev/null | grep -q "ok installed"; then
            if dpkg -i "${debs[@]}" >>"$log" 2>&1; then
                consumer_check /usr "$OUT/consumer-dpkg" "$log" || ok=0
                [ -x /usr/bin/orlix ] || [ ! -e "$OUT/release/cli/orlix" ] || ok=0
            else
                ok=0
            fi
            dpkg --purge liborlix-dev liborlix1 >>"$log" 2>&1 || ok=0
        fi
    else
        ok=0
    fi

    if [ "$ok" -eq 1 ]; then
        summary+=("package: consumers build against the installed tree and the .deb packages")
    else
        cat "$log"
        summary+=("package: FAILED")
        status=1
    fi
}
package_stage

# The API reference: Doxygen over the public headers, failing on any warning (an
# undocumented public member included).
docs_stage() {
    echo
    echo "==== stage docs ===="
    if cmake --build "$OUT/release" --target docs >"$OUT/docs.log" 2>&1; then
        summary+=("docs: API reference generated without warnings")
    else
        cat "$OUT/docs.log" "$OUT/release/docs/api/warnings.log" 2>/dev/null | head -50
        summary+=("docs: FAILED")
        status=1
    fi
}
docs_stage

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
