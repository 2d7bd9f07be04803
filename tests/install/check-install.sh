#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what lands there, file
# by file: nothing missing, nothing extra, the desktop entry and metainfo
# valid, one desktop id everywhere, icons of the sizes their folders say, the
# translations found by both installed programs. Both packages' files land:
# servermon's and servermon-headless's, each with its own documentation.
#   tests/install/check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-install.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

desktop_files=("$prefix"/share/applications/*.desktop)
[[ ${#desktop_files[@]} -eq 1 && -f ${desktop_files[0]} ]] || {
    echo "FAIL: expected exactly one desktop entry" >&2
    exit 1
}
id=$(basename "${desktop_files[0]}" .desktop)
[[ $id =~ ^[a-z0-9]+(\.[a-z0-9_-]+){2,}$ ]] || fail "desktop id $id is not reverse-DNS"

expected=(
    bin/servermon
    bin/servermon-headless
    "share/applications/$id.desktop"
    "share/metainfo/$id.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$id.svg"
    share/man/man1/servermon.1.gz
    share/man/man1/servermon-headless.1.gz
    share/doc/servermon/copyright
    share/doc/servermon/changelog.gz
    share/doc/servermon-headless/copyright
    share/doc/servermon-headless/changelog.gz
    share/servermon/Sound/NewMessage.wav
    share/servermon/servermon-rules.yml
    share/servermon/alertmanager.yml
    share/lintian/overrides/servermon
    lib/systemd/system/servermon.service
    lib/systemd/user/servermon.service
)
for ts in "$source_dir"/translations/*.ts; do
    expected+=("share/servermon/$(basename "$ts" .ts).qm")
done
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for skin in "$source_dir"/resources/Skin/*; do
    expected+=("share/servermon/Skin/$(basename "$skin")")
done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . ! -type d -printf '%P\n' | sort) ||
    fail "installed files differ from the expected list (< expected, > installed)"
[[ $(readlink "$prefix/share/man/man1/servermon-headless.1.gz") == servermon.1.gz ]] ||
    fail "servermon-headless's manual page does not lead to servermon's"

[[ -x $prefix/bin/servermon ]] || fail "bin/servermon is not executable"
[[ -x $prefix/bin/servermon-headless ]] || fail "bin/servermon-headless is not executable"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/servermon" --version) ||
    fail "servermon --version failed"
[[ $version =~ ^servermon\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "unexpected version line: $version"
headless_version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/servermon-headless" --version) ||
    fail "servermon-headless --version failed"
[[ $headless_version == "$version" ]] || fail "servermon-headless says $headless_version, servermon $version"
version=${version#servermon }

for skin in "$source_dir"/resources/Skin/*; do
    cmp -s "$skin" "$prefix/share/servermon/Skin/$(basename "$skin")" || fail "skin $skin differs"
done
cmp -s "$source_dir/resources/Sound/NewMessage.wav" "$prefix/share/servermon/Sound/NewMessage.wav" ||
    fail "alert sound differs"
for file in servermon-rules.yml alertmanager.yml; do
    cmp -s "$source_dir/packaging/prometheus/$file" "$prefix/share/servermon/$file" || fail "$file differs"
done

# The installed programs find their translation: a catalogue export reports in English.
config=$prefix/config
mkdir -p "$config"
printf '[SETUP]\nLANGUAGE=en\n' >"$config/RodOdazuConfig.ini"
for program in servermon servermon-headless; do
    report=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$program" --config-dir "$config" \
        --export "$config/servers.csv") || fail "$program --export failed"
    [[ $report == "Servers exported: 0" ]] || fail "the installed $program does not speak English: $report"
done
rm -rf "$config"

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "desktop entry icon is not $id"
grep -qx "Exec=servermon" "$prefix/share/applications/$id.desktop" || fail "desktop entry Exec"
# English by default, Chinese for zh_CN.
grep -qx "Name=Qinglan Server Monitor" "$prefix/share/applications/$id.desktop" || fail "desktop entry Name"
grep -qx "Name\[zh_CN\]=青岚服务器监控" "$prefix/share/applications/$id.desktop" ||
    fail "desktop entry Name[zh_CN]"

metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >/dev/null || {
    appstreamcli validate --no-net "$metainfo" >&2 || true
    fail "appstreamcli validate"
}
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo launchable is not $id.desktop"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" || fail "metainfo licence"
grep -q "<name>Qinglan Server Monitor</name>" "$metainfo" || fail "metainfo name"
grep -q '<name xml:lang="zh-CN">青岚服务器监控</name>' "$metainfo" || fail "metainfo Chinese name"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"
# The program names itself with the same id (desktop file name, icon name).
python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
    "$prefix/bin/servermon" "$id" || fail "the program does not carry the id $id"

for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); assert d[:8]==b"\x89PNG\r\n\x1a\n"; print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png") ||
        fail "$png is no PNG"
    [[ $actual == "${size}x${size}" ]] || fail "$png is $actual"
done
grep -q "<svg" "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "scalable icon is no SVG"

gzip -t "$prefix/share/man/man1/servermon.1.gz" || fail "compressed manual page"
zcat "$prefix/share/man/man1/servermon.1.gz" | grep -q "^\.TH SERVERMON 1 .*servermon $version" ||
    fail "manual page header"
for package in servermon servermon-headless; do
    doc=$prefix/share/doc/$package
    gzip -t "$doc/changelog.gz" || fail "$package: compressed changelog"
    zcat "$doc/changelog.gz" | head -n 1 | grep -q "^servermon ($version) " ||
        fail "$package: changelog does not begin with version $version"
    head -n 1 "$doc/copyright" |
        grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
        fail "$package: copyright is not in the machine-readable format"
    grep -q "^License: GPL-3.0-or-later" "$doc/copyright" || fail "$package: copyright licence"
    grep -q "/usr/share/common-licenses/GPL-3" "$doc/copyright" ||
        fail "$package: copyright refers to common-licenses"
done

# The headless service's units: valid, naming the installed headless
# program, and the system one confined as intended.
system_unit=$prefix/lib/systemd/system/servermon.service
user_unit=$prefix/lib/systemd/user/servermon.service
for setting in DynamicUser=yes StateDirectory=servermon AmbientCapabilities=CAP_NET_RAW \
    "ExecStart=$prefix/bin/servermon-headless --config-dir /var/lib/servermon"; do
    grep -qx -- "$setting" "$system_unit" || fail "system unit lacks $setting"
done
grep -qx -- "ExecStart=$prefix/bin/servermon-headless" "$user_unit" || fail "user unit ExecStart"
runtime=$(mktemp -d)
trap 'rm -rf "$prefix" "$runtime"' EXIT
printf '[Service]\nExecStart=/bin/true\n' >"$runtime/probe.service"
if ! command -v systemd-analyze >/dev/null; then
    echo "install: systemd-analyze not found, units not verified" >&2
elif ! systemd-analyze verify --man=no "$runtime/probe.service" >/dev/null 2>&1; then
    echo "install: systemd-analyze cannot verify units here, units not verified" >&2
else
    systemd-analyze verify --man=no "$system_unit" || fail "systemd-analyze verify (system unit)"
    XDG_RUNTIME_DIR=$runtime systemd-analyze --user verify --man=no "$user_unit" ||
        fail "systemd-analyze verify (user unit)"
fi
# The system unit's command starts the service; SIGTERM ends it cleanly.
read -ra command <<<"$(sed -n 's/^ExecStart=//p' "$system_unit")"
command=("${command[@]/#\/var\/lib\/servermon/$runtime/state}")
"${command[@]}" >"$runtime/log" 2>&1 &
service=$!
for _ in $(seq 100); do
    grep -q $'\tstart\t' "$runtime/log" && break
    sleep 0.1
done
kill -TERM "$service"
wait "$service" || fail "the service ended with status $? after SIGTERM"
grep -q $'\tstart\t' "$runtime/log" || fail "the service did not start: $(cat "$runtime/log")"
[[ -f $runtime/state/ServerList.db ]] || fail "the service kept no catalogue in its folder"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install: ${#expected[@]} files checked"
