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
  zlib1g-dev libdeflate-dev libpng-dev libfreetype-dev libfontconfig-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev make
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

# libdeflate for the Windows build. Debian packages it for Linux only, so the
# same version's Debian source package is built here with the mingw-w64
# compiler, outside the tree, into a prefix that cmake/mingw-w64.cmake
# searches. Its sources come through apt: the source entries are the
# machine's own Debian entries with their type changed, nothing else.
MINGW_PREFIX=/usr/local/x86_64-w64-mingw32
if [ ! -f "$MINGW_PREFIX/lib/libdeflate.a" ]; then
  if ! apt-cache showsrc libdeflate 2>/dev/null | grep -q '^Package:'; then
    src_list=/etc/apt/sources.list.d/karstel-deb-src.sources
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != "$src_list" ] || continue
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /Types:[^\n]*deb/ && /debian-archive-keyring/ {
             sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
    done | $SUDO tee "$src_list" >/dev/null
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^deb \(.*\/debian\(-security\)\{0,1\}\/\{0,1\} .*\)/deb-src \1/p' \
        /etc/apt/sources.list | $SUDO tee -a "$src_list" >/dev/null
    fi
    $SUDO apt-get update
  fi
  version=$(dpkg-query -W -f='${Version}' libdeflate-dev)
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get source "libdeflate=$version")
  src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libdeflate-*')
  # Its makefile names a mingw-w64 static library libdeflatestatic.lib; it
  # is an ordinary archive, installed under the name the linker looks for.
  make -C "$src" -j2 libdeflatestatic.lib CC=x86_64-w64-mingw32-gcc-posix \
    AR=x86_64-w64-mingw32-ar CFLAGS="-O2"
  $SUDO install -d "$MINGW_PREFIX/lib" "$MINGW_PREFIX/include"
  $SUDO install -m 644 "$src/libdeflate.h" "$MINGW_PREFIX/include/"
  $SUDO install -m 644 "$src/libdeflatestatic.lib" \
    "$MINGW_PREFIX/lib/libdeflate.a"
fi
