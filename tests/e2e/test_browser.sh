#!/usr/bin/env bash
# The object browser of the real program under Xvfb, used as a person would: "Go to ROT"
# clicked, the tree walked with the keyboard down to the first model of the default world and
# its material, the material's shininess edited in the member grid (F2, a number, Enter), the
# new value read back through the console, and the program ended cleanly afterwards. Then the
# object picker: with a second camera registered from the console, the scene's camera node
# selected in the tree and F2 pressed, "Pick an object" filtered by typing, the second camera
# chosen with the keyboard and Enter, and the scene's camera read back through the console.
# Usage: test_browser.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

out=$work/browser/value.txt

start browser
main=$(window "^Mosswick")
sleep 1

world
seek "models"
keys Right Right # expanded, then down to its first item, the model "Ground"
keys Right       # expanded: transform, material
seek "material" # a model has no float member of its own; its material's shininess is one
# Tab goes from the tree to the member grid, to its first row under the header; the material's
# rows follow in the order of its members: name, diffuse, specular, emissive, shininess.
keys Tab Down Down Down Down F2
xdotool type --delay 50 "2.5"
keys Return

keys alt+3 # the console's input line
xdotool type --delay 15 \
    "open('$out', 'w').write(str(vorn.os.GetObject('kx:/world').models[0].material.shininess))"
xdotool key Return
holds "$out" 2.5 ||
    fail "the first model's shininess is '$(cat "$out" 2>/dev/null)' after the edit, expected 2.5"

keys alt+f x
finish 0

# --- the object picker from the scene's camera node, by keyboard
start picker
main=$(window "^Mosswick")
sleep 1
out=$work/picker/camera.txt
keys alt+3
xdotool type --delay 15 "vorn.os.Register('kx:/camera2', vorn.os.CreateInstance('kalix.KxCamera')); \
vorn.os.GetObject('kx:/camera2').name = 'Second camera'"
xdotool key Return
world
seek "camera"
keys F2
picker=$(window "^Pick an object$")
# The filter has the focus and leaves "(none)" and kx:/camera2; Tab goes to the list, onto
# "(none)", Down to the camera, and Enter is OK.
xdotool windowfocus --sync "$picker"
xdotool type --delay 50 "camera2"
xdotool key --delay 100 Tab Down Return
for ((i = 0; i < 50; i++)); do
    xdotool search --onlyvisible --name "^Pick an object$" >/dev/null || break
    sleep 0.1
done
keys alt+3
xdotool type --delay 15 "open('$out', 'w').write(str(vorn.os.GetObject('kx:/world').camera.name))"
xdotool key Return
for ((i = 0; i < 100; i++)); do
    [[ $(cat "$out" 2>/dev/null) == "Second camera" ]] && break
    sleep 0.1
done
[[ $(cat "$out" 2>/dev/null) == "Second camera" ]] ||
    fail "the scene's camera is '$(cat "$out" 2>/dev/null)' after the pick, expected 'Second camera'"

keys alt+f x
finish 0

echo "e2e browser: all checks passed"
