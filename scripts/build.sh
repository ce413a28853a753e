#!/usr/bin/env bash
# Configures and builds everything into build/ (or $TARVEXA_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${TARVEXA_BUILD_DIR:-build}"
GEN=()
command -v ninja >/dev/null 2>&1 && GEN=(-G Ninja)
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" -DCMAKE_BUILD_TYPE="${TARVEXA_BUILD_TYPE:-RelWithDebInfo}"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
