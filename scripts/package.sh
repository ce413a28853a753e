#!/usr/bin/env bash
# Installs what is needed, builds, and makes the Debian package in build/
# (or $TARVEXA_BUILD_DIR): tarvexa-sound-recorder_<version>_<arch>.deb, which
# `sudo apt install ./<file>` installs with its dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${TARVEXA_BUILD_DIR:-build}"
cpack -G DEB
