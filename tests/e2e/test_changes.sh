#!/usr/bin/env bash
# Who changed what in the real program under Xvfb with the default world, used as a person
# would: the light "Lamp" found in the tree and a snapshot of it taken (Ctrl+Shift+S), its
# colour edited in the grid, a macro run that dims it, then "Changes" (Alt+6) narrowed to the
# intensity and that one row reverted: the intensity must come back, written by "revert", while
# the colour keeps its edit.
# Usage: test_changes.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

dir=$work/changes
out=$dir/lamp.txt

# expect "R G B I WRITER" WHEN: the Lamp as the watching statement writes it, within 10 s.
expect() {
    rm -f "$out"
    holds "$out" "$1" ||
        fail "$2 the Lamp is '$(cat "$out" 2>/dev/null)', expected '$1'"
}

mkdir -p "$dir/macros/Tools"
printf '"""Dims the lamp"""\nimport vorn\nvorn.os.GetObject("kx:/world").lights[1].intensity = 0.25\n' \
    >"$dir/macros/Tools/Dim.py"

start changes
main=$(window "^Mosswick")
sleep 1

# The watcher: every 100 ms, until the file "stop" exists, the Lamp's colour as bytes, its
# intensity and the kind of the intensity's last writer.
keys alt+3 # the console's input line
xdotool type --delay 10 "import os, vorn, app; exec(\"while not os.path.exists('$dir/stop'):\\n \
l = vorn.os.GetObject('kx:/world').lights[1]; c = l.color; w = app.browser.ChangedBy(l, 'intensity'); \
open('$dir/t', 'w').write('%d %d %d %.2f %s' % (*(round(v * 255) for v in (c.r, c.g, c.b)), \
l.intensity, w[0] if w else 'none')); os.replace('$dir/t', '$out'); vorn.synchro.Sleep(100)\")"
xdotool key Return
expect "128 153 255 0.80 script" "as the default world makes it,"

# "Go to ROT" and down the tree to the light, as in test_color_editor.sh
world
seek "lights"
keys Right
seek "Lamp"
keys ctrl+shift+s # Take Snapshot
sleep 1 # "Changes" opens among the documents
keys Tab Down Return # the tree kept the keyboard: the colour row's dialog
dialog=$(window "^Pick a color$")
xdotool windowfocus --sync "$dialog"
xdotool key --delay 50 Tab Tab Tab
for channel in 200 40 10; do
    xdotool key --delay 50 ctrl+a
    xdotool type --delay 50 "$channel"
    xdotool key --delay 50 Tab
done
xdotool key Return
expect "200 40 10 0.80 script" "after the colour edit,"

keys alt+t d # Tools > Dim, the macro
expect "200 40 10 0.25 script" "after the macro,"

keys alt+6 # "Changes", its filter line focused
xdotool type --delay 50 "intensity"
xdotool key --delay 100 Tab # the only row left, current
keys alt+r # Revert
expect "200 40 10 0.80 revert" "after reverting the intensity's row,"

touch "$dir/stop"
sleep 0.5
keys alt+f x
finish 0

echo "e2e changes: all checks passed"
