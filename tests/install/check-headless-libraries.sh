#!/usr/bin/env bash
# servermon-headless runs on a server without a desktop: it links no
# graphics, window-system or multimedia library, and answers --version and
# --help without a display.
#   tests/install/check-headless-libraries.sh PATH/TO/servermon-headless
set -euo pipefail
program=${1:?usage: check-headless-libraries.sh PATH/TO/servermon-headless}
[[ -x $program ]] || { echo "FAIL: $program is not an executable" >&2; exit 1; }

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

libraries=$(ldd "$program") || fail "ldd $program failed"
forbidden='lib(Qt6(Gui|Widgets|Multimedia|Charts|OpenGL)|GL|EGL|X11|xcb|wayland)'
if linked=$(grep -E "^[[:space:]]*${forbidden}[^[:space:]]*\.so" <<<"$libraries"); then
    fail "servermon-headless links desktop libraries:"$'\n'"$linked"
fi
grep -q 'libQt6Core\.so' <<<"$libraries" || fail "ldd shows no libQt6Core; nothing was checked"

no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
version=$("${no_display[@]}" "$program" --version) || fail "--version ended with status $?"
[[ $version =~ ^servermon\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "unexpected version line: $version"
help=$("${no_display[@]}" "$program" --help) || fail "--help ended with status $?"
grep -q -- '--config-dir' <<<"$help" || fail "--help lists no --config-dir"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "headless: $(grep -c '=>' <<<"$libraries") libraries, none of them a desktop one; $version"
