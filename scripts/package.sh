#!/usr/bin/env bash
# Builds the Debian package of servermon with CPack from the normal build
# (build/) and checks it with lintian, which must report no error:
#   scripts/package.sh    then    sudo apt install ./build/servermon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh dpkg-dev file lintian
scripts/build.sh servermon
rm -f build/servermon_*.deb
(cd build && cpack -G DEB)
deb=$(ls build/servermon_*.deb)
lintian --fail-on error "$deb"
echo "package: $deb"
