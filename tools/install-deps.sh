#!/bin/sh
# Installs the Debian packages that building and testing Karstel needs, for
# both the native Linux build and the Windows cross build run under Wine.
set -eu
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# clang 16 for the ThreadSanitizer and fuzzing builds: the first Debian clang
# whose std::source_location works with GCC 12's library. Its sanitizer and
# libFuzzer runtimes and LLVM's OpenMP (which tells ThreadSanitizer about its
# barriers) are only recommended by it, so they are named here. clang-tidy
# of the same release checks the code; clang-format 14 is the one whose
# layout the tree keeps.
packages="cmake ninja-build g++ clang-16 libclang-rt-16-dev libomp-16-dev
  clang-tidy-16 clang-format-14
  libgtest-dev libgmock-dev googletest
  zlib1g-dev libpng-dev libfreetype-dev libfontconfig-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 wine fonts-wine xvfb xauth x11-apps imagemagick xdotool
  fonts-wqy-microhei fonts-wqy-zenhei fonts-arphic-uming fonts-dejavu-core
  python3 python3-pil groff-base"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
