#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Brevio.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

brevio_install_packages "${BREVIO_PACKAGES[@]}"
brevio_build

exec "$BREVIO_BUILD/brevio-check" "$@"
