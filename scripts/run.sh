#!/usr/bin/env bash
# Installs what is needed, builds, and starts the recorder. Arguments are
# passed on (for example --help, --list-devices, --record FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec "${TARVEXA_BUILD_DIR:-build}/bin/TarvexaSoundRecorder" "$@"
