#!/usr/bin/env bash
# The colour editor of the real program under Xvfb with the default world, used as a person
# would: the light "Lamp" found in the object browser's tree, its colour row opened from the
# member grid with Enter, red, green and blue typed into "Pick a color" (the light must take each
# change at once) and kept with Enter; then the row opened again with F2, other channels typed
# and the Cancel button clicked, which must give the light its colour back; Ctrl+Z and Ctrl+Y
# then take the OK back and do it again. Last, the light's position row two rows down is opened
# with F2 and only its Z slider moved by the arrow keys: after OK, X and Y must be as they were.
# A statement started in the console beforehand keeps writing the light's colour and position to
# files, also while a dialog holds the program.
# Usage: test_color_editor.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

dir=$work/color
out=$dir/color.txt
position=$dir/position.txt

# expect_color "R G B" WHEN: the Lamp's colour as bytes must read so in a write of the watching
# statement made after this is called, within 10 s.
expect_color() {
    rm -f "$out"
    holds "$out" "$1" ||
        fail "$2 the Lamp's colour is '$(cat "$out" 2>/dev/null)', expected '$1'"
}

# type_rgb R G B: into the open dialog, whose H field has the focus; R, G and B follow V.
type_rgb() {
    local channel
    xdotool windowfocus --sync "$dialog"
    xdotool key --delay 50 Tab Tab Tab
    for channel in "$@"; do
        xdotool key --delay 50 ctrl+a
        xdotool type --delay 50 "$channel"
        xdotool key --delay 50 Tab
    done
}

# expect_position "X Y Z" WHEN: the same for the Lamp's position, with three decimals.
expect_position() {
    local i
    rm -f "$position"
    for ((i = 0; i < 100; i++)); do
        [[ $(cat "$position" 2>/dev/null) == "$1" ]] && return
        sleep 0.1
    done
    fail "$2 the Lamp's position is '$(cat "$position" 2>/dev/null)', expected '$1'"
}

# closed: waits up to 10 s for the colour dialog to go.
closed() {
    local i
    for ((i = 0; i < 100; i++)); do
        xdotool search --onlyvisible --name "^Pick a color$" >/dev/null || return
        sleep 0.1
    done
    fail "the colour dialog is still open"
}

start color
main=$(window "^Mosswick")
sleep 1

# The watcher: every 100 ms, until the file "stop" exists, the Lamp (the default world's second
# light) writes its colour as "R G B" bytes and its position as "X Y Z", whole files only.
keys alt+3 # the console's input line
xdotool type --delay 10 "import os, vorn; exec(\"while not os.path.exists('$dir/stop'):\\n \
l = vorn.os.GetObject('kx:/world').lights[1]; c = l.color; p = l.position; \
open('$dir/t', 'w').write('%d %d %d' % tuple(round(v * 255) for v in (c.r, c.g, c.b))); \
os.replace('$dir/t', '$out'); open('$dir/u', 'w').write('%.3f %.3f %.3f' % (p.x, p.y, p.z)); \
os.replace('$dir/u', '$position'); vorn.synchro.Sleep(100)\")"
xdotool key Return
expect_color "128 153 255" "as the default world makes it,"
expect_position "-2.500 2.000 2.500" "as the default world makes it,"

# "Go to ROT" and down the tree to the light, as in test_browser.sh
world
seek "lights"
keys Right # expanded: Sun, Lamp, Spot
seek "Lamp"
# Tab goes to the grid's first row; a light's own members come first: kind, then color.
keys Tab Down Return
dialog=$(window "^Pick a color$")
type_rgb 200 40 10
expect_color "200 40 10" "with the dialog open after typing 200 40 10,"
xdotool key Return # OK is the default button
closed
expect_color "200 40 10" "after OK,"

# The grid has the focus back, on the colour row.
keys F2
dialog=$(window "^Pick a color$")
type_rgb 0 255 0
expect_color "0 255 0" "with the dialog open again after typing 0 255 0,"
xdotool mousemove --window "$dialog" 320 338 click 1 # Cancel, at its fixed place
closed
expect_color "200 40 10" "after Cancel,"

# Edit > Undo and Redo by their keys: the OK was one step, the Cancel none.
keys ctrl+z
expect_color "128 153 255" "after Ctrl+Z,"
keys ctrl+y
expect_color "200 40 10" "after Ctrl+Y,"

# The position, two rows below the colour: the Z slider opens at its end (2.5 is past 1), and
# two steps left of it must leave X and Y alone.
keys Down Down F2
dialog=$(window "^Gimme vector$")
xdotool windowfocus --sync "$dialog"
xdotool key --delay 50 Tab Tab Tab Tab Tab Left Left # from the X field to the Z slider
expect_position "-2.500 2.000 0.998" "with the vector dialog open after moving its Z slider,"
xdotool key Return # OK
expect_position "-2.500 2.000 0.998" "after OK in the vector dialog,"

touch "$dir/stop"
sleep 0.5
keys alt+f x
finish 0

echo "e2e color editor: all checks passed"
