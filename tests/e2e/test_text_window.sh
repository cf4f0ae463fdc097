#!/usr/bin/env bash
# A text window keeps what was typed, in the real program under Xvfb: File > New, text typed,
# Ctrl+S asks for a name in the file dialog and writes the text there; more text typed and the
# window closed asks Save, Discard or Cancel, and Discard leaves the saved file as it was.
# Usage: test_text_window.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

saved=$work/notes.txt
start text
main=$(window "^Mosswick")
sleep 1

keys alt+f n  # File > New
xdotool type --delay 30 "moss and wick"
keys ctrl+s
dialog=$(window "^Save As$")
xdotool windowfocus --sync "$dialog"
xdotool type --delay 15 "$saved"
xdotool key Return
for ((i = 0; i < 50; i++)); do [[ -s $saved ]] && break; sleep 0.1; done
[[ $(cat "$saved" 2>/dev/null) == "moss and wick" ]] ||
    fail "Ctrl+S wrote '$(cat "$saved" 2>/dev/null)', expected 'moss and wick'"

xdotool windowfocus --sync "$main"
xdotool type --delay 30 " grows"
keys ctrl+F4
question=$(window "^Mosswick$")
xdotool windowfocus --sync "$question"
xdotool key alt+d  # Discard
sleep 0.5
[[ $(cat "$saved") == "moss and wick" ]] || fail "Discard changed the file to '$(cat "$saved")'"

keys alt+f x  # the discarded window is gone: the tool closes without a question
finish 0

echo "e2e text window: all checks passed"
