# Shared by scripts/play and scripts/test: installs what is missing and builds.
# Sourced, not run.
# SPDX-License-Identifier: MIT
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the game needs, and those only its tests need.
PACKAGES=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-ttf-dev libx11-dev libfontconfig-dev fonts-liberation2
  libturbojpeg0-dev libpng-dev libcurl4-openssl-dev
  xdg-utils
  libboost-dev libsqlite3-dev libpqxx-dev
)
TEST_PACKAGES=(
  desktop-file-utils appstream dpkg-dev lintian adduser
  libgtest-dev xvfb xauth xdotool x11-apps x11-utils imagemagick xfonts-base python3 python3-pil
  clang-14 libclang-rt-14-dev
  postgresql chromium chromium-driver python3-selenium
)

die() {
  echo "error: $*" >&2
  exit 1
}

install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || die "packages missing (${missing[*]}) and not root; install them or run with sudo"
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q || die "apt-get update failed"
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" || die "apt-get install failed for: ${missing[*]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir="$1"
  shift
  cmake -S "$ROOT" -B "$dir" "$@" >/dev/null || die "cmake configure failed in $dir"
  cmake --build "$dir" -j"$(nproc)" || die "build failed in $dir"
}
