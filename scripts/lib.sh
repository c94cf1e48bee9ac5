# Shared steps of run.sh and test.sh: install what is missing, configure and build in build/.
# Sourced, not run.

BREVIO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BREVIO_BUILD="$BREVIO_ROOT/build"

# Debian packages (real package names: a virtual name is never "installed", so it would send
# every run to apt-get again). Building and running Brevio:
BREVIO_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-translations-l10n libgl-dev libx11-dev
  libssl-dev ca-certificates
  qtkeychain-qt6-dev libqt6keychain1
  qt6-networkauth-dev libqt6networkauth6
)
# The private test mail server (tests and the demo):
BREVIO_SERVER_PACKAGES=(dovecot-core dovecot-imapd dovecot-pop3d openssl)
# The tests on top of both:
BREVIO_TEST_PACKAGES=(libgtest-dev libgmock-dev lintian appstream)
# The secret-store tests: a private D-Bus session with a keyring daemon, and secret-tool.
BREVIO_TEST_PACKAGES+=(gnome-keyring dbus libsecret-tools)
# The spam-verdict tests score their messages with SpamAssassin (local tests only, no network).
BREVIO_TEST_PACKAGES+=(spamassassin)
# The fuzz targets and the sanitizer builds (clang with its sanitizer and libFuzzer runtimes):
BREVIO_CHECK_PACKAGES=(clang-14 libclang-rt-14-dev)

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

# brevio_build ON|OFF: configures (with or without the tests) when needed, then builds. With
# BREVIO_STRICT=ON in the environment (CI) every warning is an error.
brevio_build() {
  local testing=$1
  local strict=${BREVIO_STRICT:-OFF}
  if [ ! -f "$BREVIO_BUILD/build.ninja" ] ||
     ! grep -qx "BUILD_TESTING:BOOL=$testing" "$BREVIO_BUILD/CMakeCache.txt" ||
     ! grep -qx "BREVIO_STRICT:BOOL=$strict" "$BREVIO_BUILD/CMakeCache.txt"; then
    cmake -S "$BREVIO_ROOT" -B "$BREVIO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DBUILD_TESTING="$testing" -DBREVIO_STRICT="$strict" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  fi
  cmake --build "$BREVIO_BUILD"
}

# brevio_build_variant DIR CMAKE-ARGS... [-- TARGETS...]: configures a further build folder
# (sanitizers, fuzzing) once, then builds the given targets in it. Uses ccache when present.
brevio_build_variant() {
  local dir=$1
  shift
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  if [ ! -f "$dir/build.ninja" ]; then
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$BREVIO_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${args[@]}"
  fi
  cmake --build "$dir" --target "${targets[@]}"
}
