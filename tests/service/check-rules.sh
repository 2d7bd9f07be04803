#!/usr/bin/env bash
# Checks the shipped Prometheus alerting rules and the example Alertmanager
# configuration with the tools of Debian's packages (downloaded once per
# build folder and unpacked, never installed): promtool checks the rules and
# runs their unit tests, amtool checks the Alertmanager configuration.
#   tests/service/check-rules.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-rules.sh BUILD_DIR}" && pwd)
rules_dir=$(cd "$(dirname "$0")/../../packaging/prometheus" && pwd)
started=$SECONDS

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# unpack PACKAGE PROGRAM: takes the program out of the package, downloaded
# into BUILD_DIR/PACKAGE-deb the first time, into the work folder.
unpack() {
    local package=$1 program=$2
    local cache=$build/$package-deb
    mkdir -p "$cache"
    local deb
    deb=$(find "$cache" -name "${package}_*.deb" -print -quit)
    if [[ -z $deb ]]; then
        if ! apt-cache show "$package" >/dev/null 2>&1; then
            local sudo_cmd=()
            [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
            "${sudo_cmd[@]}" apt-get update -qq || fail "apt-get update failed; no package lists"
        fi
        # As root apt would fetch as its own user, who cannot write the cache.
        local sandbox=()
        [[ $(id -u) -ne 0 ]] || sandbox=(-o APT::Sandbox::User=root)
        (cd "$cache" && timeout 300 apt-get download -qq "${sandbox[@]}" "$package") ||
            fail "apt-get download $package"
        deb=$(find "$cache" -name "${package}_*.deb" -print -quit)
        [[ -n $deb ]] || fail "apt-get download $package left no .deb in $cache"
    fi
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" "./usr/bin/$program" ||
        fail "$deb holds no $program"
    [[ -x $work/usr/bin/$program ]] || fail "$program from $deb is not executable"
}

unpack prometheus promtool
unpack prometheus-alertmanager amtool
promtool=$work/usr/bin/promtool
amtool=$work/usr/bin/amtool

# run DESCRIPTION COMMAND...: runs the command, and shows its output and
# fails when it fails.
run() {
    local what=$1
    shift
    "$@" >"$work/output" 2>&1 || {
        cat "$work/output" >&2
        fail "$what"
    }
}
cd "$rules_dir"
run "promtool check rules servermon-rules.yml" "$promtool" check rules servermon-rules.yml
run "promtool test rules servermon-rules.test.yml" "$promtool" test rules servermon-rules.test.yml
run "amtool check-config alertmanager.yml" "$amtool" check-config alertmanager.yml
echo "rules: checked and tested in $((SECONDS - started)) s"
