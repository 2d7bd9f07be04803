#!/usr/bin/env bash
# Builds the two Debian packages, servermon-headless and servermon (which
# depends on the first), with their -dbgsym debug packages, in a build
# folder of their own (build-deb/), and checks them:
#   - both programs hardened as Debian builds them with hardening=+all
#     (hardening-check: PIE, stack protector, fortify, RELRO, BIND_NOW);
#   - a second CPack run gives byte-identical packages (time stamps from
#     packaging/changelog through SOURCE_DATE_EPOCH);
#   - lintian reports no error for either .deb;
#   - tests/install/check-deb.sh installs, runs and purges them (as root or
#     through sudo).
#   scripts/package.sh    then    sudo apt install ./build-deb/servermon-headless_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh dpkg-dev file lintian devscripts
build="build-deb"
started=$SECONDS

fail() {
    echo "package: FAIL: $*" >&2
    exit 1
}

# Debian's hardened flags. CMake reads no CPPFLAGS, so they join the
# compiler flags; the flags are given anew at every configure (--fresh),
# since a cache keeps the ones of its first configure.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/changelog -STimestamp)
export SOURCE_DATE_EPOCH
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi
cmake --fresh -S . -B "$build" -G "Unix Makefiles" "${launcher[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DSERVERMON_TESTS=OFF -DSERVERMON_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target servermon servermon-headless

# Every compile line carries fortify.
python3 - "$build/compile_commands.json" <<'PY' || fail "compile lines without -D_FORTIFY_SOURCE=2"
import json, sys
entries = json.load(open(sys.argv[1]))
lacking = [e["file"] for e in entries if "-D_FORTIFY_SOURCE=2" not in e["command"].split()]
for name in lacking:
    print("package: compiled without -D_FORTIFY_SOURCE=2:", name, file=sys.stderr)
sys.exit(1 if lacking or not entries else 0)
PY
# hardening-check sees fortify only in a checked (_chk) call. The compiler
# keeps the plain call where it proves the size at compile time or cannot
# know the destination's size, so a fortified program may show none: then
# the compile lines above decide, and a probe built with the same flags,
# with a destination of known size, shows that they fortify.
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
read -ra probe_flags <<<"$cxxflags $ldflags"
cat >"$build/fortify-probe.cpp" <<'CPP'
#include <cstring>
#include <unistd.h>
int main(int argc, char** argv) {
    char buffer[16];
    std::memcpy(buffer, argv[0], static_cast<size_t>(argc));
    return static_cast<int>(read(0, buffer, static_cast<size_t>(argc))) + buffer[1];
}
CPP
"$compiler" "${probe_flags[@]}" "$build/fortify-probe.cpp" -o "$build/fortify-probe"
hardening-check --nocfprotection --quiet "$build/fortify-probe" >/dev/null ||
    fail "the build flags do not fortify a probe: $(hardening-check --nocfprotection "$build/fortify-probe")"
for program in servermon servermon-headless; do
    report=$(hardening-check --nocfprotection --verbose "$build/$program") || true
    echo "$report"
    for feature in "Position Independent Executable" "Stack protected" \
        "Read-only relocations" "Immediate binding"; do
        grep -q "^ $feature: yes" <<<"$report" || fail "$program: $feature is not yes"
    done
    grep -qE "^ Fortify Source functions: (yes|unknown, no protectable libc functions used|no, only unprotected functions found)" \
        <<<"$report" || fail "$program: fortify is not met"
done

# Two CPack runs in the same folder give the same packages.
packages() { find "$build" -maxdepth 1 \( -name '*.deb' -o -name '*.ddeb' \) -printf '%f\n' | sort; }
rm -rf "$build/first-run"
find "$build" -maxdepth 1 \( -name '*.deb' -o -name '*.ddeb' \) -delete
(cd "$build" && cpack -G DEB >/dev/null)
mkdir "$build/first-run"
for file in $(packages); do
    mv "$build/$file" "$build/first-run/"
done
sleep 1
(cd "$build" && cpack -G DEB >/dev/null)
[[ $(packages) == "$(cd "$build/first-run" && ls)" ]] || fail "the two runs made different files"
for file in $(packages); do
    cmp "$build/first-run/$file" "$build/$file" || fail "$file differs between two runs"
done
rm -rf "$build/first-run"
echo "package: two CPack runs gave identical packages: $(packages | tr '\n' ' ')"

debs=("$build"/servermon-headless_*.deb "$build"/servermon_*.deb)
for deb in "${debs[@]}"; do
    [[ -f $deb ]] || fail "$deb was not made"
    lintian --fail-on error "$deb" || fail "lintian reports errors for $deb"
done

tests/install/check-deb.sh "$build"

for deb in "${debs[@]}"; do
    echo "package: $deb: Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
    echo "package:   Depends: $(dpkg-deb -f "$deb" Depends)"
done
echo "package: done in $((SECONDS - started)) s"
