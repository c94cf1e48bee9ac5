# Shared steps of run.sh and test.sh: install what is missing, configure and build in build/.
# Sourced, not run.

BREVIO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BREVIO_BUILD="$BREVIO_ROOT/build"

# Debian packages (real package names: a virtual name is never "installed", so it would send
# every run to apt-get again). Building and running Brevio:
BREVIO_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libx11-dev
  libssl-dev ca-certificates
)
# The private test mail server (tests and the demo):
BREVIO_SERVER_PACKAGES=(dovecot-core dovecot-imapd dovecot-pop3d openssl)
# The tests on top of both:
BREVIO_TEST_PACKAGES=(libgtest-dev libgmock-dev)

brevio_install_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# brevio_build ON|OFF: configures (with or without the tests) when needed, then builds.
brevio_build() {
  local testing=$1
  if [ ! -f "$BREVIO_BUILD/build.ninja" ] ||
     ! grep -qx "BUILD_TESTING:BOOL=$testing" "$BREVIO_BUILD/CMakeCache.txt"; then
    cmake -S "$BREVIO_ROOT" -B "$BREVIO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBUILD_TESTING="$testing"
  fi
  cmake --build "$BREVIO_BUILD"
}
