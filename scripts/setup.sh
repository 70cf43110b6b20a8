# Shared by ./run and ./test: install what is missing, configure and build.
# Sourced, not run.

LINKWARD_PACKAGES=(g++ cmake ninja-build pkg-config libsqlite3-dev libgtest-dev libgmock-dev poppler-utils
  libbenchmark-dev qt6-base-dev libgl-dev python3 libxml2-dev libcurl4-openssl-dev libssl-dev libqt6svg6
  libre2-dev libtomlplusplus-dev nlohmann-json3-dev libmd4c-dev)
# What .ci/run needs besides: the checks of the installed files and the Debian
# package (dpkg-shlibdeps computes the package's dependencies).
LINKWARD_CI_PACKAGES=(desktop-file-utils appstream man-db dpkg-dev)

linkward_missing_packages() {
  local pkg missing=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  echo "${missing[@]:-}"
}

linkward_install_packages() {
  local missing
  missing=$(linkward_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Linkward needs these Debian packages: $missing"
  local runner=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      runner=(sudo)
    else
      echo "error: not root and sudo is not available; install them with:" >&2
      echo "  apt-get install $missing" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! "${runner[@]}" apt-get install -y --no-install-recommends $missing </dev/null; then
    "${runner[@]}" apt-get update </dev/null || true
    if ! "${runner[@]}" apt-get install -y --no-install-recommends $missing </dev/null; then
      echo "error: could not install: $missing" >&2
      return 1
    fi
  fi
}

# Configures the build folder when needed and builds the targets named
# (everything when none is named). A folder made by another generator is
# configured afresh for Ninja instead of failing.
linkward_build() {
  local build_dir=${LINKWARD_BUILD_DIR:-build}
  if [ -f "$build_dir/CMakeCache.txt" ] &&
    ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$build_dir/CMakeCache.txt"; then
    echo "Reconfiguring $build_dir for Ninja (it was made by another generator)."
    rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
  fi
  if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  fi
  local targets=()
  if [ $# -gt 0 ]; then targets=(--target "$@"); fi
  cmake --build "$build_dir" "${targets[@]}" || return 1
}

# The two programs only (the desktop one when the build has it).
linkward_build_programs() {
  local build_dir=${LINKWARD_BUILD_DIR:-build}
  linkward_build linkward-cli || return 1
  if grep -q '^build src/gui/linkward:' "$build_dir/build.ninja" 2>/dev/null; then
    linkward_build linkward || return 1
  fi
}
