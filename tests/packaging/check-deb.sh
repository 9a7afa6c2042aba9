#!/usr/bin/env bash
# Builds the Debian packages from an existing build tree and checks what they would put on a
# machine: file places and modes, control fields, maintainer scripts, lintian, and (as root) a
# real install, a write by the service and a reinstall into a throwaway root.
# Usage: check-deb.sh <build dir>
# Environment: TOLVAN_EXPECT_CONFIGURATOR=1 when the configurator is built; TOLVAN_MANUAL, the
# built manual's path (the package must carry it once it exists).
# Exit status 77 (skipped) when the Debian package tools are missing.
set -uo pipefail

build=$(cd "${1:?build dir}" && pwd) || exit 1

for tool in dpkg-deb dpkg-shlibdeps cpack; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvan-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# gzip keeps the test quick; the release package uses the default compression.
if ! (cd "$work" && timeout 300 cpack --config "$build/CPackConfig.cmake" -B "$work/out" \
        -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    echo "FAIL: cpack did not build the package"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/out/tolvan-server_1.0.7_${arch}.deb
config_deb=$work/out/tolvan-server-config_1.0.7_${arch}.deb
if [ ! -f "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: no $(basename "$deb") produced: $(ls "$work/out")"
    exit 1
fi
if [ -n "${TOLVAN_EXPECT_CONFIGURATOR:-}" ] && [ ! -f "$config_deb" ]; then
    fail "no $(basename "$config_deb") produced: $(ls "$work/out")"
fi

# --- control fields -------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tolvan-server ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = 1.0.7 ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Maintainer)" = "Tolvan Server developers <dev@tolvan.example>" ] ||
    fail "Maintainer is '$(field Maintainer)'"
[ "$(field Section)" = net ] || fail "Section is '$(field Section)'"
[ "$(field Priority)" = optional ] || fail "Priority is '$(field Priority)'"
depends=$(field Depends)
depend_names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for dep in adduser libc6 libstdc++6 libqt6core6 libqt6network6 libsystemd0; do
    grep -qxF "$dep" <<<"$depend_names" || fail "Depends lacks $dep: $depends"
done
# A headless server gets no graphics libraries.
if grep -qE '^libqt6(gui|widgets|opengl|dbus)|^libgl|^libx|^libfontconfig' <<<"$depend_names"; then
    fail "tolvan-server depends on desktop libraries: $depends"
fi
field Description | sed -n 2p | grep -q 'serial ports' || fail "Description has no long text"
if [ -f "$config_deb" ]; then
    config_depends=$(dpkg-deb -f "$config_deb" Depends)
    config_names=$(tr ',' '\n' <<<"$config_depends" | sed 's/^ *//; s/ .*//')
    for dep in libqt6widgets6 libqt6gui6; do
        grep -qxF "$dep" <<<"$config_names" || fail "the configurator lacks $dep: $config_depends"
    done
    grep -qF 'tolvan-server (= 1.0.7)' <<<"$config_depends" ||
        fail "the configurator does not depend on its tolvan-server: $config_depends"
    [ "$(dpkg-deb -f "$config_deb" Package)" = tolvan-server-config ] ||
        fail "the configurator's package is named $(dpkg-deb -f "$config_deb" Package)"
fi

# --- conffiles and maintainer scripts -------------------------------------------------------
mkdir -p "$work/control"
dpkg-deb -e "$deb" "$work/control"
# The service rewrites its store: as a conffile every upgrade would ask about it.
[ -e "$work/control/conffiles" ] && fail "conffiles lists $(cat "$work/control/conffiles")"
for script in postinst prerm postrm; do
    path=$work/control/$script
    if [ ! -f "$path" ]; then
        fail "$script missing"
        continue
    fi
    [ "$(stat -c %a "$path")" = 755 ] || fail "$script has mode $(stat -c %a "$path")"
    head -n 1 "$path" | grep -qx '#!/bin/sh' || fail "$script is not a /bin/sh script"
    grep -qx 'set -e' "$path" || fail "$script does not stop on errors"
    sh -n "$path" || fail "$script has a syntax error"
done

# --- file list: place, mode, kind -----------------------------------------------------------
dpkg-deb -c "$deb" | awk '{print $1, $2, $6}' >"$work/contents"
: >"$work/config-contents"
[ -f "$config_deb" ] && dpkg-deb -c "$config_deb" | awk '{print $1, $2, $6}' >"$work/config-contents"
expect() { # <mode string> <path> [contents file]
    local line
    line=$(grep -E " \./${2#/}$" "${3:-$work/contents}") || {
        fail "$2 is not in the package"
        return
    }
    [ "${line%% *}" = "$1" ] || fail "$2 has mode ${line%% *}, want $1"
    grep -q ' root/root ' <<<"$line" || fail "$2 is not owned by root/root"
}
expect -rwxr-xr-x /usr/sbin/TolvanServer
expect -rw-r--r-- /lib/systemd/system/TolvanServer.service
expect -rw-r--r-- /usr/share/tolvan-server/registry.reg
grep -q '/etc/tolvan' "$work/contents" && fail "tolvan-server ships files in /etc/tolvan"
expect -rw-r--r-- /usr/share/man/man8/TolvanServer.8.gz
expect -rw-r--r-- /usr/share/doc/tolvan-server/copyright
expect -rw-r--r-- /usr/share/doc/tolvan-server/changelog.gz
expect -rwxr-xr-x /usr/bin/tolvanctl
expect -rw-r--r-- /usr/share/man/man1/tolvanctl.1.gz
expect -rw-r--r-- /usr/share/bash-completion/completions/tolvanctl
if [ -n "${TOLVAN_EXPECT_CONFIGURATOR:-}" ]; then
    c=$work/config-contents
    expect -rwxr-xr-x /usr/bin/TolvanServerConfig "$c"
    expect -rw-r--r-- /usr/share/man/man1/TolvanServerConfig.1.gz "$c"
    expect -rw-r--r-- /usr/share/applications/TolvanServerConfig.desktop "$c"
    expect -rw-r--r-- /usr/share/icons/hicolor/32x32/apps/tolvanserverconfig.png "$c"
    expect -rw-r--r-- /usr/share/doc/tolvan-server-config/copyright "$c"
    expect -rw-r--r-- /usr/share/doc/tolvan-server-config/changelog.gz "$c"
    if [ -n "${TOLVAN_MANUAL:-}" ] && [ -f "$TOLVAN_MANUAL" ]; then
        expect -rw-r--r-- /usr/share/doc/tolvan-server-config/TolvanUsersManual.pdf "$c"
    fi
fi
grep -qE 'TolvanServerConfig|\.pdf$|/applications/|/icons/' "$work/contents" &&
    fail "tolvan-server carries desktop files: $(grep -E 'TolvanServerConfig|\.pdf$|/applications/|/icons/' "$work/contents")"
grep -qE 'sbin/TolvanServer$|tolvanctl' "$work/config-contents" &&
    fail "tolvan-server-config carries the server's files"
if grep -vE '^d' "$work/contents" | grep -qE ' \./usr/local/|\./usr/bin/TolvanUsersManual'; then
    fail "files outside the Debian places: $(grep -E '/usr/local/|/usr/bin/Tolvan.*pdf' "$work/contents")"
fi
bad_dirs=$(awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" {print $3}' "$work/contents" "$work/config-contents")
[ -z "$bad_dirs" ] || fail "folders not 0755: $bad_dirs"

# --- extracted tree -------------------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
[ -f "$config_deb" ] && dpkg-deb -x "$config_deb" "$root"
for program in usr/sbin/TolvanServer usr/bin/TolvanServerConfig usr/bin/tolvanctl; do
    [ -e "$root/$program" ] || continue
    file -b "$root/$program" | grep -q 'ELF' || fail "$program is not an ELF executable"
    file -b "$root/$program" | grep -q 'not stripped' && fail "$program is not stripped"
    if readelf -d "$root/$program" 2>/dev/null | grep -qE 'RPATH|RUNPATH'; then
        fail "$program carries a build RPATH"
    fi
done
for page in usr/share/man/man8/TolvanServer.8.gz usr/share/man/man1/TolvanServerConfig.1.gz; do
    [ -e "$root/$page" ] || continue
    gzip -t "$root/$page" || fail "$page is not valid gzip"
    # -n: no original name or time stamp, so rebuilds give the same bytes.
    [ "$(od -An -tu4 -j4 -N4 "$root/$page" | tr -d ' ')" = 0 ] || fail "$page has a time stamp"
    text=$(zcat "$root/$page")
    for section in NAME SYNOPSIS OPTIONS ENVIRONMENT FILES 'SEE ALSO'; do
        grep -qx "\.SH \"\?$section\"\?" <<<"$text" || fail "$page has no $section section"
    done
    for variable in TOLVAN_REGISTRY TOLVAN_EVENTLOG TOLVAN_UNIT_DIR TOLVAN_SYSTEMCTL; do
        grep -q "$variable" <<<"$text" || fail "$page does not name $variable"
    done
done
ctl_page=$(zcat "$root/usr/share/man/man1/tolvanctl.1.gz" 2>/dev/null)
for section in NAME SYNOPSIS COMMANDS OPTIONS 'EXIT STATUS' ENVIRONMENT FILES 'SEE ALSO'; do
    grep -qx "\.SH \"\?$section\"\?" <<<"$ctl_page" || fail "tolvanctl.1 has no $section section"
done
bash -n "$root/usr/share/bash-completion/completions/tolvanctl" ||
    fail "the bash completion of tolvanctl has a syntax error"
zcat "$root/usr/share/man/man8/TolvanServer.8.gz" 2>/dev/null |
    grep -q -- '-uninstall' || fail "TolvanServer.8 does not document -uninstall"
head -n 1 "$root/usr/share/doc/tolvan-server/copyright" |
    grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not machine-readable"
zcat "$root/usr/share/doc/tolvan-server/changelog.gz" | head -n 1 |
    grep -q '^tolvan-server (1.0.7) ' || fail "changelog does not start with version 1.0.7"

unit=$root/lib/systemd/system/TolvanServer.service
unit_has() { grep -qx "$1" "$unit" || fail "unit lacks '$1'"; }
unit_has 'Type=notify'
unit_has 'ExecStart=/usr/sbin/TolvanServer'
unit_has 'ExecReload=/bin/kill -HUP $MAINPID'
unit_has 'Restart=on-failure'
unit_has 'RestartSec=60'
unit_has 'StartLimitBurst=4'
unit_has 'User=tolvan'
unit_has 'Group=tolvan'
unit_has 'SupplementaryGroups=dialout'
unit_has 'NoNewPrivileges=yes'
unit_has 'ProtectSystem=strict'
unit_has 'ProtectHome=yes'
unit_has 'PrivateTmp=yes'
unit_has 'ReadWritePaths=/etc/tolvan /var/log/tolvan'
unit_has 'PrivateDevices=no'
unit_has 'LogsDirectory=tolvan'
unit_has 'LogsDirectoryMode=2750'
unit_has 'UMask=0027'
unit_has 'MemoryMax=256M'
unit_has 'RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK'
# A fifth start four minutes after the first must still fall inside the window to be refused.
interval=$(sed -n 's/^StartLimitIntervalSec=//p' "$unit")
[ "${interval:-0}" -gt 240 ] || fail "StartLimitIntervalSec=${interval:-unset} allows a fourth restart"
if command -v systemd-analyze >/dev/null 2>&1; then
    # Verify a copy whose ExecStart exists on this machine.
    mkdir -p "$work/unit"
    sed 's|^ExecStart=.*|ExecStart=/bin/true|' "$unit" >"$work/unit/TolvanServer.service"
    # It exits 0 on unknown or misspelt settings, which it only warns about.
    if ! systemd-analyze verify --man=no "$work/unit/TolvanServer.service" >"$work/verify.log" 2>&1 ||
        [ -s "$work/verify.log" ]; then
        fail "systemd-analyze rejects the unit: $(cat "$work/verify.log")"
    fi
fi

store=$root/usr/share/tolvan-server/registry.reg
[ "$(grep -v '^;' "$store" | grep -v '^$' | head -n 1)" = REGEDIT4 ] ||
    fail "the default store does not start with REGEDIT4"
if grep -vE '^(;.*|REGEDIT4|)$' "$store" | grep -q .; then
    fail "the default store sets values: $(grep -vE '^(;.*|REGEDIT4|)$' "$store")"
fi
for name in BaseTCPPort Devices Port1; do
    grep -q "$name" "$store" || fail "the default store does not explain $name"
done

desktop=$root/usr/share/applications/TolvanServerConfig.desktop
if [ -e "$desktop" ]; then
    grep -qx 'Exec=TolvanServerConfig' "$desktop" || fail "desktop entry does not start the program"
    grep -qx 'Icon=tolvanserverconfig' "$desktop" || fail "desktop entry names another icon"
fi
icon=$root/usr/share/icons/hicolor/32x32/apps/tolvanserverconfig.png
if [ -e "$icon" ]; then
    file -b "$icon" | grep -q 'PNG image data, 32 x 32' || fail "icon is not a 32x32 PNG"
fi

# --- maintainer scripts in a throwaway root -------------------------------------------------
# The scripts run with a PATH of fakes that record every call (account tools, chown, the
# systemd tools) and a few real file tools, against copies whose absolute paths point into
# a throwaway root. Nothing on this machine is changed and no real systemctl is ever run.
fakebin=$work/fakebin
mkdir -p "$fakebin"
calls=$work/calls
cat >"$fakebin/record" <<'EOF_RECORD'
#!/bin/sh
echo "${0##*/} $*" >>"$CALLS"
EOF_RECORD
# getent knows the account once the script has created it; dialout always exists.
cat >"$fakebin/getent" <<'EOF_GETENT'
#!/bin/sh
case "$2" in
    dialout) exit 0 ;;
    tolvan) [ "$1" = group ] && tool=addgroup || tool=adduser
            grep -q "^$tool --system" "$CALLS" ;;
    *) exit 2 ;;
esac
EOF_GETENT
cat >"$fakebin/id" <<'EOF_ID'
#!/bin/sh
if grep -q "^adduser --quiet tolvan dialout" "$CALLS"; then echo "tolvan dialout"; else echo tolvan; fi
EOF_ID
chmod +x "$fakebin/record" "$fakebin/getent" "$fakebin/id"
for tool in adduser addgroup useradd groupadd usermod chown chgrp \
    systemctl deb-systemd-helper deb-systemd-invoke; do
    ln -s record "$fakebin/$tool"
done
for tool in sh mkdir chmod touch rm tr grep cp; do
    ln -s "$(command -v "$tool")" "$fakebin/$tool"
done

sandbox=$work/sandbox
mkdir -p "$sandbox/etc" "$sandbox/run" "$sandbox/usr/share/tolvan-server"
cp "$store" "$sandbox/usr/share/tolvan-server/registry.reg"
for script in postinst prerm postrm; do
    cp "$work/control/$script" "$sandbox/$script"
done
run_script() { DPKG_ROOT=$sandbox CALLS=$calls PATH=$fakebin "$fakebin/sh" "$sandbox/$1" "${@:2}"; }

: >"$calls"
run_script postinst configure 2>"$work/postinst.err" || fail "postinst configure failed without systemd"
grep -q "systemd is not running, so the service was not started" "$work/postinst.err" ||
    fail "postinst did not say that it started nothing: $(cat "$work/postinst.err")"
grep -q "systemctl start TolvanServer" "$work/postinst.err" || fail "postinst did not say how to start"
cmp -s "$store" "$sandbox/etc/tolvan/registry.reg" || fail "postinst did not create the store"
echo '"BaseTCPPort"="6000"' >>"$sandbox/etc/tolvan/registry.reg"
run_script postinst configure 2>/dev/null || fail "a second postinst configure failed"
grep -q 6000 "$sandbox/etc/tolvan/registry.reg" || fail "postinst replaced an existing store"
grep -q '^addgroup --system --quiet tolvan$' "$calls" || fail "postinst did not create the group"
grep -qE '^adduser --system .*--no-create-home .*--home /nonexistent .*tolvan$' "$calls" ||
    fail "postinst did not create the system user"
[ "$(grep -c '^adduser --system' "$calls")" = 1 ] || fail "the second run created the user again"
[ "$(grep -c '^adduser --quiet tolvan dialout' "$calls")" = 1 ] ||
    fail "postinst did not add the user to dialout exactly once"
grep -q "^chown root:tolvan $sandbox/etc/tolvan/registry.reg$" "$calls" ||
    fail "store not given to tolvan"
[ "$(stat -c %a "$sandbox/etc/tolvan/registry.reg")" = 660 ] || fail "store mode is not 0660"
[ "$(stat -c %a "$sandbox/etc/tolvan")" = 2770 ] || fail "/etc/tolvan mode is not 2770"
[ "$(stat -c %a "$sandbox/etc/tolvan/registry.reg.lock")" = 660 ] ||
    fail "the store's lock file is not shared by the group"
[ -d "$sandbox/var/log/tolvan" ] || fail "postinst did not create /var/log/tolvan"
grep -qE '^(systemctl|deb-systemd-invoke) ' "$calls" &&
    fail "postinst ran systemctl although systemd is not running"

: >"$calls"
mkdir -p "$sandbox/run/systemd/system"
run_script postinst configure || fail "postinst configure failed with systemd"
grep -q '^systemctl --system daemon-reload' "$calls" || fail "postinst did not reload systemd"
grep -qE '^deb-systemd-helper (enable|update-state) TolvanServer.service' "$calls" ||
    fail "postinst did not enable the service"
grep -q '^deb-systemd-invoke start TolvanServer.service' "$calls" ||
    fail "postinst did not start the service"
: >"$calls"
run_script postinst configure 1.0.6 || fail "postinst upgrade failed"
grep -q '^deb-systemd-invoke restart TolvanServer.service' "$calls" ||
    fail "an upgrade did not restart the service"
: >"$calls"
run_script prerm remove || fail "prerm remove failed"
grep -q '^deb-systemd-invoke stop TolvanServer.service' "$calls" || fail "prerm did not stop"
grep -q '^deb-systemd-helper disable TolvanServer.service' "$calls" || fail "prerm did not disable"

# Without any systemd tool the scripts still succeed, and plain systemctl is the fallback.
rm "$fakebin/deb-systemd-helper" "$fakebin/deb-systemd-invoke"
: >"$calls"
run_script postinst configure || fail "postinst failed with systemctl alone"
grep -q '^systemctl enable TolvanServer.service' "$calls" || fail "postinst did not enable"
grep -q '^systemctl start TolvanServer.service' "$calls" || fail "postinst did not start"
rm "$fakebin/systemctl"
for step in "postinst configure" "prerm remove" "postrm remove"; do
    # shellcheck disable=SC2086
    run_script $step || fail "$step failed without systemctl"
done
[ -f "$sandbox/etc/tolvan/registry.reg" ] || fail "postrm remove deleted the settings"
run_script postrm purge || fail "postrm purge failed"
[ -e "$sandbox/etc/tolvan" ] && fail "postrm purge kept /etc/tolvan"
[ -e "$sandbox/var/log/tolvan" ] && fail "postrm purge kept /var/log/tolvan"

# --- lintian --------------------------------------------------------------------------------
# Warnings left on purpose: maintainer-script-calls-systemctl (postinst, prerm), the fallback to
# plain systemctl for systems without deb-systemd-helper and deb-systemd-invoke, which are used
# whenever they exist.
if command -v lintian >/dev/null 2>&1; then
    # shellcheck disable=SC2046
    timeout 240 lintian --no-cfg --fail-on error --suppress-tags-from-file /dev/null \
        "$deb" $([ -f "$config_deb" ] && echo "$config_deb") >"$work/lintian.log" 2>&1
    status=$?
    cat "$work/lintian.log"
    [ $status -eq 0 ] || fail "lintian reports errors (status $status)"
else
    echo "NOTE: lintian is not installed; its check is left out"
fi

# --- install, service write, reinstall, purge with the real dpkg ------------------------------
# Into a throwaway root with its own database; the maintainer scripts run outside a chroot
# (DPKG_ROOT) with the same recording fakes for accounts and systemd, so this machine's
# accounts and services are never touched. Needs root for the files' owners.
droot=$work/dpkg-root
dpkg_in_root() {
    CALLS=$calls PATH=$fakebin2:/usr/sbin:/usr/bin:/sbin:/bin timeout 120 \
        dpkg --root="$droot" --admindir="$droot/var/lib/dpkg" --force-script-chrootless \
        --force-depends --log=/dev/null "$@" </dev/null
}
if [ "$(id -u)" != 0 ]; then
    echo "NOTE: not root; the install and reinstall with dpkg are left out"
elif ! mkdir -p "$droot/var/lib/dpkg/updates" "$droot/var/lib/dpkg/info" ||
    ! touch "$droot/var/lib/dpkg/status"; then
    echo "NOTE: no room for a dpkg root; the install and reinstall with dpkg are left out"
else
    fakebin2=$work/fakebin2
    mkdir -p "$fakebin2"
    cp -P "$fakebin"/* "$fakebin2/" 2>/dev/null
    rm -f "$fakebin2/deb-systemd-helper" "$fakebin2/deb-systemd-invoke" "$fakebin2/systemctl"
    for tool in record deb-systemd-helper deb-systemd-invoke systemctl; do
        [ "$tool" = record ] || ln -s record "$fakebin2/$tool"
    done
    packages=("$deb")
    [ -f "$config_deb" ] && packages+=("$config_deb")
    : >"$calls"
    if ! dpkg_in_root -i "${packages[@]}" >"$work/dpkg1.log" 2>&1; then
        fail "dpkg -i failed: $(cat "$work/dpkg1.log")"
    else
        live=$droot/etc/tolvan/registry.reg
        [ -f "$live" ] || fail "the install created no store"
        # The service writes its store (here: the recovery actions -install stores).
        env TOLVAN_REGISTRY="$live" TOLVAN_UNIT_DIR="$work" TOLVAN_SYSTEMCTL=/bin/true \
            timeout 30 "$droot/usr/sbin/TolvanServer" -install >"$work/install.log" 2>&1 ||
            fail "the installed server could not write its store: $(cat "$work/install.log")"
        grep -q FailureActions "$live" || fail "the store was not written"
        cp "$live" "$work/written.reg"
        if ! dpkg_in_root -i "${packages[@]}" >"$work/dpkg2.log" 2>&1; then
            fail "the reinstall failed: $(cat "$work/dpkg2.log")"
        fi
        grep -qiE 'conffile|configuration file' "$work/dpkg2.log" &&
            fail "the reinstall asked about a configuration file: $(cat "$work/dpkg2.log")"
        cmp -s "$live" "$work/written.reg" || fail "the reinstall changed the written store"
        dpkg_in_root --purge tolvan-server-config tolvan-server >"$work/dpkg3.log" 2>&1 ||
            fail "the purge failed: $(cat "$work/dpkg3.log")"
        [ -e "$droot/etc/tolvan" ] && fail "the purge kept /etc/tolvan"
    fi
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed: $(basename "$deb")"
