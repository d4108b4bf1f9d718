#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# When everything is already there it only checks and returns.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev llvm
  wine wine32:i386 wine64 xvfb xauth
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  libz-mingw-w64-dev zlib1g-dev
  gcab cabextract locales googletest zopfli
  imagemagick x11-apps x11-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The program's texts are Russian in code page 1251; Wine takes its ANSI code page from the locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  echo "bootstrap: generating ru_RU.UTF-8"
  $SUDO sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# The posix thread model is needed for std::mutex (GoogleTest uses it).
for tool in i686-w64-mingw32-g++ i686-w64-mingw32-gcc; do
  current=$(update-alternatives --query "$tool" 2>/dev/null | awk '/^Value:/{print $2}')
  if [ -n "$current" ] && [ "$current" != "/usr/bin/${tool}-posix" ]; then
    $SUDO update-alternatives --set "$tool" "/usr/bin/${tool}-posix" >/dev/null
  fi
done
echo "bootstrap: ready"
