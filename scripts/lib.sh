# Shared steps of run.sh and test.sh: install what is missing, configure and build in build/.
# Sourced, not run.

BREVIO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BREVIO_BUILD="$BREVIO_ROOT/build"

# Debian packages the build, the tests and the demo need.
BREVIO_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev libgl-dev libx11-dev
  libssl-dev openssl ca-certificates
  libgtest-dev libgmock-dev
  dovecot-core dovecot-imapd dovecot-pop3d
)

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

brevio_build() {
  if [ ! -f "$BREVIO_BUILD/build.ninja" ]; then
    cmake -S "$BREVIO_ROOT" -B "$BREVIO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$BREVIO_BUILD"
}
