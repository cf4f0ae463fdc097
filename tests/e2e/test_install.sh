#!/usr/bin/env bash
# The installed program: `cmake --install` into a prefix that is then moved elsewhere, and the
# moved copy runs a batch script with its own libvorn, Python modules, macros and class list.
# The desktop files are checked by their validators where those are installed.
set -u
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }
mv "$work/prefix" "$work/moved"  # the copy must not depend on where it was installed
p=$work/moved
for file in bin/mosswick bin/vornrun lib/libvorn.so share/mosswick/python/navigation.py \
    share/mosswick/classlist.txt share/mosswick/readme.rtf share/man/man1/mosswick.1 \
    share/man/man1/vornrun.1; do
    [ -e "$p/$file" ] || fail "$file was not installed"
done
# a build with the web view installs its plugin, which the moved copy must find
web=False
if [ -e "$build/mosswick-webview.so" ]; then
    [ -e "$p/lib/mosswick/mosswick-webview.so" ] || fail "the web view's plugin was not installed"
    web=True
fi
ldd "$p/bin/mosswick" | grep -Eq "libvorn.so => $p/(bin/\.\./)?lib/libvorn.so" ||
    { ldd "$p/bin/mosswick"; fail "the installed program does not find its own libvorn"; }

for file in share/applications/org.mosswick.Mosswick.desktop \
    share/metainfo/org.mosswick.Mosswick.metainfo.xml share/icons/hicolor/scalable/apps/mosswick.svg \
    share/icons/hicolor/48x48/apps/mosswick.png share/icons/hicolor/128x128/apps/mosswick.png; do
    [ -e "$p/$file" ] || fail "$file was not installed"
done
# the validators check what they can where they are installed; without them nothing fails
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$p/share/applications/org.mosswick.Mosswick.desktop" ||
        fail "the desktop entry is not valid"
else
    echo "desktop-file-validate is missing: the desktop entry is not checked"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$p/share/metainfo/org.mosswick.Mosswick.metainfo.xml" ||
        fail "the AppStream metadata is not valid"
else
    echo "appstreamcli is missing: the AppStream metadata is not checked"
fi

mkdir -p "$work/home"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
       QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
unset VORN_SETTINGS VORN_RESDIR VORN_MACRODIR VORN_BASEDIR
cat >"$work/check.py" <<PY
import sys, vorn, navigation
share = "$p/share/mosswick/"
assert navigation.__file__.startswith(share), navigation.__file__
assert vorn.os.GetPath(4) == share + "macros/", vorn.os.GetPath(4)
assert vorn.os.GetPath(1) == share + "res/", vorn.os.GetPath(1)
try:
    import app  # the tool's module: in mosswick, not in vornrun
except ImportError:
    app = None
if $web and app:
    app.ui.Navigate("about:blank")  # raises when the plugin is not found
print("installed copy runs")
PY
(cd "$work" && timeout 120 "$p/bin/mosswick" --batch check.py) >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "the installed mosswick failed its batch script"; }
grep -q "installed copy runs" "$work/out" || { cat "$work/out"; fail "no output"; }
timeout 60 "$p/bin/vornrun" "$work/check.py" >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "the installed vornrun failed"; }
exit 0
