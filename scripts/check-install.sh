#!/usr/bin/env bash
# Checks the installed program from the Release build in BUILD_DIR: installs it into a
# DESTDIR, validates the desktop entry and the AppStream metadata, starts the installed
# program with a picture path while the install folder is read-only, so that its settings
# must go to the XDG folders, closes it with SIGTERM as a session end would, and reads what
# it wrote. Then builds the Debian package and checks its files and computed dependencies.
# Exits non-zero, saying what failed, on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)

work=$(mktemp -d)
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill -KILL "$program_pid" 2>/dev/null
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-install: FAILED: $*" >&2
    exit 1
}

app=org.vistrel.Vistrel
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install"

expected="usr/bin/vistrel
usr/lib/vistrel/vistrel_exif.so
usr/share/applications/$app.desktop
usr/share/icons/hicolor/scalable/apps/$app.svg
usr/share/metainfo/$app.metainfo.xml"
installed=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files are not the program's five:
$installed"

desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >/dev/null \
    || fail "appstreamcli validate"

# A 2 x 2 picture of 24 bits per pixel, in a folder whose name holds a space.
mkdir -p "$work/my pictures" "$work/config" "$work/data" "$work/home"
picture="$work/my pictures/tiny.bmp"
printf 'BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0\x10\0\0\0\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0' >"$picture"
printf '\0\0\xff\0\xff\0\0\0\xff\0\0\xff\xff\xff\0\0' >>"$picture"

# The install folder refuses new files. The super-user passes file permissions only through
# its override capability: the program runs without it.
chmod -R a-w "$root"
as_any_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_any_user=(setpriv --bounding-set -dac_override,-dac_read_search --inh-caps=-all --)
fi
settings=$work/config/vistrel/vistrel.set
(cd "$work/home" && exec env QT_QPA_PLATFORM=offscreen HOME="$work/home" \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    "${as_any_user[@]}" "$root/usr/bin/vistrel" "$picture") >"$work/program.log" 2>&1 &
program_pid=$!
# The data file is written by the first loading, in the same event that then opens the
# start path; a signal is handled only after that event.
for _ in $(seq 100); do
    [ -f "$work/config/vistrel/vistrel.vsgc" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
[ -f "$work/config/vistrel/vistrel.vsgc" ] || fail "no data file in XDG_CONFIG_HOME; the program said:
$(cat "$work/program.log")"
kill -TERM "$program_pid"
status=0
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status after SIGTERM:
$(cat "$work/program.log")"
# Only an opened picture enters the history; the bounds are stored at a normal close.
grep -qF "HIT_FILE=\"$picture\"" "$settings" || fail "the picture did not reach the history:
$(cat "$settings" 2>/dev/null)"
grep -q 'WIDTH=' "$settings" || fail "the window bounds were not stored at close"
[ -d "$work/data/vistrel/collections" ] || fail "no collections folder in XDG_DATA_HOME"
installed_after=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[ "$installed_after" = "$expected" ] || fail "the program wrote into its install folder"

deb=$(scripts/package.sh "$build" | tail -n 1) || fail "scripts/package.sh"
contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb -c $deb"
while read -r path; do
    grep -q " \./$path\$" <<<"$contents" || fail "$path missing from $deb"
done <<<"$expected"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libjpeg62-turbo libgif7 liblcms2-2 libjxl0.7 libexiv2-27 libspng0 \
    libtiff6 libwebp7 libwebpdemux2 libgs-common; do
    grep -q "\b$library\b" <<<"$depends" || fail "Depends of $deb lacks $library: $depends"
done
echo "check-install: installed files, desktop entry, metadata, XDG settings and $(basename "$deb") are good"
