#!/usr/bin/env bash
# The package as a user meets it: the files it installs, the command lines, and a
# system-wide install whose /usr/bin an ordinary user cannot write: the settings start
# from the installation's /etc/kvchat/kvchat.INI, live in ~/.config/kvchat and persist,
# and nothing is written beside the executable.
set -euo pipefail
src=$1
build=$2

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "dpkg-deb or dpkg-shlibdeps is missing: the package test is skipped"
    exit 77
fi

work=$(mktemp -d)
pid=
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

KV_BUILD_DIR=$build "$src/scripts/package" --output "$work" >/dev/null
deb=$(echo "$work"/kvchat_*.deb)
[ -f "$deb" ] || fail "no package was built"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(basename "$deb")" = "kvchat_${version}_$(dpkg --print-architecture).deb" ] || fail "package name $deb"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6.*fonts-ipafont-gothic, qt6-translations-l10n' || fail "dependencies: $(dpkg-deb -f "$deb" Depends)"
# A Japanese input method reaches Qt 6 programs through one of these frontends.
[ "$(dpkg-deb -f "$deb" Recommends)" = "fcitx5-frontend-qt6 | ibus" ] || fail "recommends: $(dpkg-deb -f "$deb" Recommends)"

root=$work/root
dpkg -x "$deb" "$root"
for file in usr/bin/kvchat usr/bin/kvchat-server usr/share/applications/kvchat.desktop \
    usr/share/icons/hicolor/scalable/apps/kvchat.svg usr/share/icons/hicolor/48x48/apps/kvchat.png \
    usr/share/icons/hicolor/256x256/apps/kvchat.png usr/share/metainfo/kvchat.metainfo.xml \
    usr/share/man/man1/kvchat.1.gz usr/share/man/man1/kvchat-server.1.gz etc/kvchat/kvchat.INI; do
    [ -s "$root/$file" ] || fail "the package lacks /$file"
done
gzip -dc "$root/usr/share/man/man1/kvchat.1.gz" | grep -qF '\-\-settings' || fail "kvchat(1) does not describe --settings"

# Command lines, without any display.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/kvchat" --version | grep -qx "kvchat $version" ||
    fail "kvchat --version"
env -u DISPLAY "$root/usr/bin/kvchat" --help | grep -q -- '--settings <FILE>' || fail "kvchat --help"
"$root/usr/bin/kvchat-server" --version | grep -qx "kvchat-server $version" || fail "kvchat-server --version"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/kvchat" --help-all >"$work/help-all" ||
    fail "kvchat --help-all"
grep -q -- '-session' "$work/help-all" && grep -q -- '-platform' "$work/help-all" ||
    fail "kvchat --help-all lists none of the toolkit's options: $(cat "$work/help-all")"
"$root/usr/bin/kvchat-server" --help | head -n 1 | grep -qx 'Usage: kvchat-server \[options\]' ||
    fail "kvchat-server --help names the program as: $("$root/usr/bin/kvchat-server" --help | head -n 1)"
for program in kvchat kvchat-server; do
    status=0
    "$root/usr/bin/$program" --no-such-option >/dev/null 2>"$work/usage" || status=$?
    [ $status = 2 ] && grep -q -- '--help' "$work/usage" || fail "$program with an unknown option: status $status"
done

# A user who may not write /usr/bin. The installer filled in the server's address.
home=$work/home
mkdir -p "$home" "$work/run"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$home" "$work/run"
    chmod 0755 "$work"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    chmod 0555 "$root/usr/bin"   # what root's ownership gives every other user
fi
printf '[Common]\r\nIP=localhost\r\nPort=9010\r\n[URL]\r\nHome=http://kickvale.invalid/\r\n' >"$root/etc/kvchat/kvchat.INI"
before=$(ls -la "$root/usr/bin")

# run_as_user: starts the installed client as that user, waits until it handles
# SIGTERM (as a logout sends it), ends it that way and expects status 0.
# run_as_root does the same as root, with root's own home folder.
run_as_user() {
    run_client "$home" "${as_user[@]}"
}
run_as_root() {
    run_client "$work/roothome"
}
run_client() {
    local home=$1
    shift
    "$@" env -i HOME="$home" PATH=/usr/bin:/bin \
        QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" "$root/usr/bin/kvchat" >"$work/client.log" 2>&1 &
    pid=$!
    local tries=300
    # SIGTERM is bit 14 of the caught-signals mask once the client's handler is in place;
    # until the background shell has become the client, that mask is the shell's.
    until [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$root/usr/bin/kvchat" ] &&
        (( 0x$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status") & 0x4000 )); do
        tries=$((tries - 1))
        [ $tries -gt 0 ] && kill -0 "$pid" 2>/dev/null || fail "the client did not start: $(cat "$work/client.log")"
        sleep 0.1
    done
    kill -TERM "$pid"
    local status=0
    wait "$pid" || status=$?
    pid=
    [ $status = 0 ] || fail "the client ended with status $status: $(cat "$work/client.log")"
}

settings=$home/.config/kvchat/kvchat.INI
run_as_user
[ -f "$settings" ] || fail "no settings in ~/.config/kvchat after the first run"
grep -q '^IP=localhost' "$settings" && grep -q '^Home=http://kickvale.invalid/' "$settings" ||
    fail "the installation's keys were not kept: $(cat "$settings")"
grep -q '^\[Form\]' "$settings" || fail "the first run did not save the window: $(cat "$settings")"
[ "$(stat -c %a "$settings")" = 600 ] || fail "settings mode $(stat -c %a "$settings")"

# The user's copy rules later runs, whatever the installation says now.
sed -i 's/^Name=.*/Name=Tester\r/' "$settings"
printf '[Common]\r\nIP=192.0.2.1\r\n' >"$root/etc/kvchat/kvchat.INI"
run_as_user
grep -q '^Name=Tester' "$settings" && grep -q '^IP=localhost' "$settings" ||
    fail "the second run did not keep the user's settings: $(cat "$settings")"
[ "$(ls -la "$root/usr/bin")" = "$before" ] || fail "something was written beside the executable"
# Root may write into /usr/bin, yet the installed program is no portable copy:
# root's settings live in root's XDG folders, made even without an installation
# file, and nothing appears beside the executable.
if [ "$(id -u)" = 0 ]; then
    chmod 0755 "$root/usr/bin"
    mkdir -m 0700 "$work/roothome"
    mv "$root/etc/kvchat/kvchat.INI" "$work/kvchat.INI.installed"
    run_as_root
    [ "$(ls -la "$root/usr/bin")" = "$before" ] || fail "root's run wrote beside the executable: $(ls "$root/usr/bin")"
    grep -q '^\[Form\]' "$work/roothome/.config/kvchat/kvchat.INI" ||
        fail "root's settings were not saved in ~/.config/kvchat without an installation file"
    # A settings file left beside the executable (by an earlier version) is not used, and the start says so.
    printf '[Common]\r\nName=stale\r\n' >"$root/usr/bin/kvchat.INI"
    run_as_root
    grep -qF "設定ファイルは $work/roothome/.config/kvchat/kvchat.INI を使います。$root/usr/bin/kvchat.INI は使いません" \
        "$work/client.log" || fail "no word about the unused settings beside the executable: $(cat "$work/client.log")"
    [ "$(cat "$root/usr/bin/kvchat.INI")" = "$(printf '[Common]\r\nName=stale\r\n')" ] ||
        fail "the unused settings file was changed"
fi
echo "package test passed: $(basename "$deb")"
