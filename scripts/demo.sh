#!/usr/bin/env bash
# Configures and builds the library and its examples, then runs the tour
# (examples/tour): one program that shows the library's modules at work.
set -eu
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ORLIX_ROOT"

orlix_install_packages build-essential g++ cmake ninja-build pkg-config

BUILD="${ORLIX_DEMO_DIR:-$ORLIX_ROOT/build-demo}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORLIX_BUILD_TESTS=OFF -DORLIX_BUILD_EXAMPLES=ON >/dev/null
cmake --build "$BUILD" -j "$ORLIX_JOBS" --target tour
echo
exec "$BUILD/examples/tour" "$@"
