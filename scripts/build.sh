#!/usr/bin/env bash
# Configures and builds everything into build/ (or $TARVEXA_BUILD_DIR): the
# recorder, the main window, the tests and the benchmarks. A build folder
# whose cache switched any of them off (or whose warnings-as-errors setting
# differs from $TARVEXA_WERROR, default OFF) is configured again with them on.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${TARVEXA_BUILD_DIR:-build}"
CACHE="$BUILD_DIR/CMakeCache.txt"
WANT=(TARVEXA_BUILD_GUI=ON TARVEXA_BUILD_TESTS=ON TARVEXA_BUILD_BENCH=ON
  "TARVEXA_WERROR=${TARVEXA_WERROR:-OFF}")

configure=0
if [ ! -f "$CACHE" ]; then
  configure=1
else
  for kv in "${WANT[@]}"; do
    grep -Eq "^${kv%%=*}:BOOL=${kv#*=}\$" "$CACHE" || { configure=1; break; }
  done
fi
if [ "$configure" = 1 ]; then
  GEN=()
  # A new folder gets Ninja when the machine has it; an existing one keeps
  # the generator it was made with.
  if [ ! -f "$CACHE" ] && command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
  DEFS=()
  for kv in "${WANT[@]}"; do DEFS+=("-D${kv%%=*}:BOOL=${kv#*=}"); done
  [ -f "$CACHE" ] || DEFS+=("-DCMAKE_BUILD_TYPE=${TARVEXA_BUILD_TYPE:-RelWithDebInfo}")
  cmake -S . -B "$BUILD_DIR" "${GEN[@]}" "${DEFS[@]}"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
