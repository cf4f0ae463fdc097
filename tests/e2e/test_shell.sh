#!/usr/bin/env bash
# The real program under Xvfb as a user meets it: its title, Ctrl+N opening a text window and
# Ctrl+F4 closing it, File > Exit ending with status 0 and the window's size stored, the same
# panel sizes stored over restarts; a start with a settings file it cannot write, said at exit;
# and a runtime that cannot start, reported in a box (exit 255).
# Usage: test_shell.sh MOSSWICK "EXPECTED TITLE" SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
title=$2

# shot NAME: the main window without its status bar, whose clock text changes every second.
shot() {
    eval "$(xdotool getwindowgeometry --shell "$main")"
    import -window "$main" -crop "${WIDTH}x$((HEIGHT - 40))+0+0" +repage "$work/$1.png"
}

# changed A B: how many pixels differ between two shots.
changed() {
    compare -metric AE -fuzz 5% "$work/$1.png" "$work/$2.png" null: 2>&1 | awk '{printf "%d", $1}'
}

# --- a session: title, a text window opened and closed, exit, stored settings
start session
main=$(window "^Mosswick")
name=$(xdotool getwindowname "$main")
[[ $name == "$title" ]] || fail "window title '$name', expected '$title'"
sleep 1  # the first idle pass and the start-up text window
shot before
keys ctrl+n
shot opened
keys ctrl+F4
shot closed
opened=$(changed before opened)
closed=$(changed before closed)
echo "pixels changed: $opened with a new text window, $closed after closing it"
((opened > 5000)) || fail "Ctrl+N showed no new text window ($opened pixels changed)"
((closed * 10 < opened)) || fail "Ctrl+F4 left the text window open ($closed pixels changed)"
keys alt+f x
finish 0
grep -q '"main_width"' "$work/session/settings.json" || fail "main_width was not stored"

# --- opening and closing without touching anything stores exactly what was read, and hidden
# panels keep their last shown sizes
sizes() {
    python3 -c 'import json, sys
s = json.load(open(sys.argv[1]))
print(" ".join(s.get(k, "-") for k in ("leftpanel_width", "rightpanel_width", "bottompanel_height")))' \
        "$work/session/settings.json"
}
session_again() {
    start session
    main=$(window "^Mosswick")
    sleep 1
    keys alt+f x
    finish 0
}
first=$(sizes)
for run in 2 3; do
    session_again
    [[ $(sizes) == "$first" ]] || fail "run $run stored panel sizes '$(sizes)', read '$first'"
done
python3 -c 'import json, sys
p = sys.argv[1]; s = json.load(open(p))
s.update(leftpanel_width="260", rightpanel_width="230", view_browsers="0")
json.dump(s, open(p, "w"))' "$work/session/settings.json"
session_again
[[ $(sizes) == "260 230 "* ]] || fail "hidden panels stored '$(sizes)', not their sizes 260 230"

# --- a settings file that cannot be written (its folder is a file) does not stop the program
: >"$work/blocker"
start readonly VORN_SETTINGS="$work/blocker/settings.json"  # later values win in env
main=$(window "^Mosswick")
sleep 1
keys alt+f x
box=$(window "^OOPS!$")  # the settings could not be stored, and the user is told
xdotool windowfocus --sync "$box"
xdotool key Return
finish 0

# --- a runtime that cannot start: a box says why and the program ends with 255
mkdir -p "$work/nopython"
start broken PYTHONHOME="$work/nopython"
box=$(window "^Vorn Startup Failed$")
xdotool windowfocus --sync "$box"
xdotool key Return
finish 255

echo "e2e shell: all checks passed"
