#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. Tests that need a
# sound card start a private virtual capture device themselves. A skipped
# test fails the run unless it states why it cannot apply on this machine
# (scripts/run-tests.sh). Arguments are passed on to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/run-tests.sh "${TARVEXA_BUILD_DIR:-build}" "$@"
