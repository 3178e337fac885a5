#!/bin/sh
# Builds every preset and runs every test: the Linux suite natively, the
# sanitizer build's fuzz and mutation tests, and the Windows suite under Wine;
# then packages the release from those trees and checks the packages.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux
cmake --build --preset linux-release
ctest --preset linux-release
cmake --preset linux-sanitize
cmake --build --preset linux-sanitize
ctest --preset linux-sanitize
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
tools/release.sh
tools/check-release.sh
