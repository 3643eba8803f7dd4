#!/usr/bin/env bash
# Installs the distribution packages the build, the tests and the tools need, when one is missing.
# Runs on every `make`; costs one dpkg query when everything is there.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpng-dev zlib1g-dev pkg-config
  dosfstools mtools valgrind python3
  libfreetype-dev fonts-liberation2 fonts-dejavu-core
  netpbm ccache
  libjpeg-turbo-progs giflib-tools imagemagick libjpeg-dev libgif-dev
  libsdl2-dev
  python3-serial python3-venv
)
if [ "${1:-}" = "--target" ]; then
  packages+=(gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib qemu-system-arm)
fi
# The board for the browser: the distribution's emscripten; its tests add the browser and its driver.
if [ "${1:-}" = "--web" ]; then
  packages+=(emscripten)
fi
if [ "${1:-}" = "--web-test" ]; then
  packages+=(emscripten chromium chromium-driver python3-selenium)
fi
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
