#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. Tests that need a
# sound card start a private virtual capture device themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${TARVEXA_BUILD_DIR:-build}"
ctest --output-on-failure --timeout 900 "$@"
