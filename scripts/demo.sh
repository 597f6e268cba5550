#!/usr/bin/env bash
# Configures and builds the library, the orlix command and the tour (examples/tour), then
# runs the tour: one program that shows the library's modules at work. Arguments go to the
# tour (e.g. --keep, or logfilter commands such as -loglevel 3).
set -eu
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ORLIX_ROOT"

orlix_install_packages build-essential g++ cmake ninja-build pkg-config

BUILD="${ORLIX_DEMO_DIR:-$ORLIX_ROOT/build-demo}"
LOG="$BUILD/demo-build.log"
mkdir -p "$BUILD"
echo "building the library, the orlix command and the tour in $BUILD (log: $LOG)"
if ! {
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DORLIX_BUILD_TESTS=OFF -DORLIX_BUILD_EXAMPLES=ON -DORLIX_BUILD_CLI=ON &&
        cmake --build "$BUILD" -j "$ORLIX_JOBS" --target tour orlix_cli
} >"$LOG" 2>&1; then
    tail -n 40 "$LOG"
    echo "build FAILED (whole log: $LOG)"
    exit 1
fi
echo "the orlix command: $BUILD/src/cli/orlix (try: echo hello | $BUILD/src/cli/orlix md5)"
echo
exec "$BUILD/examples/tour" "$@"
