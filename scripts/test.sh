#!/usr/bin/env bash
# Installs what is missing, builds in build/, starts the test mail server and runs every test.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

brevio_install_packages "${BREVIO_PACKAGES[@]}"
brevio_build

cd "$BREVIO_BUILD"
ctest --output-on-failure "$@"
