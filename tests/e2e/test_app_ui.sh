#!/usr/bin/env bash
# Scripts asking the user through app.ui in the real program under Xvfb: a macro calls
# app.ui.Ask, the answer is typed into the question dialog and the macro's print of it shows in
# the console; then, with the 3D window open, app.ui.ReloadNavigation() entered in the console
# says there that the navigation module was reloaded. A console line is read back as a user
# would take it: Enter on the line copies it into the input, where it is wrapped into a
# statement that writes it to a file.
# Usage: test_app_ui.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

out=$work/appui/line.txt

# last_line TEXT: the console's last line of output must be TEXT.
last_line() {
    local i
    rm -f "$out"
    keys alt+3 shift+Tab ctrl+End Up Return  # from the input to the log, its last line back
    xdotool key Home
    xdotool type --delay 15 "open('$out', 'w').write('''"
    xdotool key End
    xdotool type --delay 15 "''')"
    xdotool key Return
    for ((i = 0; i < 100; i++)); do [[ -f $out ]] && break; sleep 0.1; done
    [[ $(cat "$out" 2>/dev/null) == "$1" ]] ||
        fail "the console's last line is '$(cat "$out" 2>/dev/null)', expected '$1'"
}

mkdir -p "$work/appui/macros/Tools"
cat >"$work/appui/macros/Tools/Ask Name.py" <<'PY'
"""Asks for a name"""
import app
name = app.ui.Ask("Who is there?", "nobody")
print("The answer was %s" % name)
PY
start appui
main=$(window "^Mosswick")
sleep 1

keys alt+t a  # Tools > Ask Name
question=$(window "^Question$")
xdotool windowfocus --sync "$question"
xdotool key ctrl+a
xdotool type --delay 15 "Moss Wick"
xdotool key Return
sleep 0.5
last_line "The answer was Moss Wick"

keys ctrl+F4  # the read-me goes; the 3D window opens filling the document area
# "Create 3D Window" sits right of the fill-screen button on the main tool bar; a click in its
# picture activates it, which gives it the engine's device and its navigation
xdotool mousemove --window "$main" 493 38 click 1
sleep 1.5
xdotool mousemove --window "$main" 390 210 click 1
sleep 0.5
keys alt+3
xdotool type --delay 15 "app.ui.ReloadNavigation()"
xdotool key Return
sleep 0.5
last_line "Navigation module reloaded"

keys alt+f x
finish 0

echo "e2e app.ui: all checks passed"
