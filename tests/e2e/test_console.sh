#!/usr/bin/env bash
# The console and the macro menus of the real program under Xvfb, driven by the keyboard:
# statements typed and entered, Up bringing one back, Tab completing a name, a statement that
# waits while a later one runs, a script run from its macro menu, an expression's value echoed
# (the setting console_echo on), Tab after a subscript, and output printed while the program
# ends shown in the "OOPS!" box. Effects are read from the files the statements write.
# Usage: test_console.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

out=$work/console/out.txt

# enter TEXT: types a statement into the console's input line and presses Enter.
enter() {
    xdotool windowfocus --sync "$main"
    xdotool type --delay 15 "$1"
    xdotool key Return
}

# expect TEXT: waits up to 10 s for the statements' file to hold exactly TEXT.
expect() {
    holds "$out" "$1" ||
        fail "the statements wrote '$(cat "$out" 2>/dev/null)', expected '$1'"
}

mkdir -p "$work/console/macros/Tools"
printf '"""Marks the file"""\nopen(%s, "a").write("macro;")\n' "'$out'" \
    >"$work/console/macros/Tools/Mark.py"
echo '{"console_echo": "1"}' >"$work/console/settings.json"
start console
main=$(window "^Mosswick")
sleep 1
keys alt+3  # the Console command: the bottom panel's console page, input focused

enter "open('$out', 'a').write('one;')"
expect "one;"
keys Up Return
expect "one;one;"

# the first statement waits four seconds; the second runs meanwhile
enter "import vorn; vorn.synchro.Sleep(4000); open('$out', 'a').write('late;')"
enter "open('$out', 'a').write('early;')"
expect "one;one;early;"
expect "one;one;early;late;"

keys alt+t m  # Tools > Mark, the menu built from the macro folder
expect "one;one;early;late;macro;"

# Tab completes the name before the caret: "vorn.os.GetOb" has one candidate, "GetObject("
xdotool windowfocus --sync "$main"
xdotool type --delay 15 "vorn.os.GetOb"
keys Tab
enter "'kx:/dev') and open('$out', 'a').write('tab;')"
expect "one;one;early;late;macro;tab;"

# with echo on an expression is shown as the prompt shows it, and the prompt's "_" holds it
enter "6 * 7"
enter "open('$out', 'a').write('echo %r;' % (_,))"
expect "one;one;early;late;macro;tab;echo 42;"

# Tab after a subscript: the list holds a text, whose one method "upp..." is "upper("
enter "w = type('W', (), {})(); w.models = [0, 'text']"
xdotool windowfocus --sync "$main"
xdotool type --delay 15 "w.models[1].upp"
keys Tab
enter ") == 'TEXT' and open('$out', 'a').write('subscript;')"
expect "one;one;early;late;macro;tab;echo 42;subscript;"

enter "import atexit; atexit.register(print, 'bye from atexit')"
sleep 0.5
keys alt+f x
box=$(window "^OOPS!$")
xdotool windowfocus --sync "$box"
xdotool key Return
finish 0
grep -q "bye from atexit" "$work/console/app.log" || fail "the output of the shut-down was lost"

echo "e2e console: all checks passed"
