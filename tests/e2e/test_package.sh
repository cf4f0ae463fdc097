#!/usr/bin/env bash
# The Debian package: cpack builds it from the build tree, its dependencies name the libraries
# the binaries link and the Python modules they load, and the program unpacked from it into a
# temporary folder runs a batch script. 77 (skipped) without dpkg-deb or dpkg-shlibdeps.
set -u
build=$1
for tool in dpkg-deb dpkg-shlibdeps cpack; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 ||
    { tail -n 40 "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no .deb was made"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libpython3.11 python3-jedi python3-greenlet; do
    grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
grep -q "libvorn" <<<"$depends" && fail "the package depends on its own libvorn: $depends"
dpkg-deb -c "$deb" >"$work/contents"
grep -q "usr/share/applications/org.mosswick.Mosswick.desktop" "$work/contents" ||
    fail "the desktop entry is not in the package"

dpkg-deb -x "$deb" "$work/root"
mkdir -p "$work/home"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
       QT_QPA_PLATFORM=offscreen
unset VORN_SETTINGS VORN_RESDIR VORN_MACRODIR VORN_BASEDIR
printf 'import navigation, vorn\nassert navigation.__file__.startswith("%s")\nprint("unpacked runs")\n' \
    "$work/root/usr/share/mosswick/" >"$work/check.py"
timeout 120 "$work/root/usr/bin/mosswick" --batch "$work/check.py" >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "the unpacked mosswick failed its batch script"; }
grep -q "unpacked runs" "$work/out" || { cat "$work/out"; fail "no output"; }
exit 0
