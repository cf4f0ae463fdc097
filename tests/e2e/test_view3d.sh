#!/usr/bin/env bash
# The 3D window of the real program under Xvfb with the default world, used as a person would:
# opened from its tool button, the camera orbited by dragging the mouse in it (the picture must
# change), and Scroll Lock pressed, which must leave capture/cap0000.bmp below the base folder
# showing the scene, not one flat colour. Then the ball is clicked: the browser must select it
# and the view mark it, F must bring the camera's target to its centre, and selecting the
# camera must take the mark away.
# Usage: test_view3d.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

# shot NAME: the middle of the 3D window's picture, from the screen.
shot() {
    import -window root -crop 200x140+"$((view_x - 100))"+"$((view_y - 70))" +repage \
        "$work/$1.png"
}

start view3d
main=$(window "^Mosswick")
sleep 1
keys ctrl+F4  # the read-me goes; the 3D window opens filling the document area

# "Create 3D Window" sits right of the fill-screen button on the main tool bar.
xdotool mousemove --window "$main" 493 38 click 1
sleep 1.5
# the picture's middle: the area starts about 204 px right of the window's corner and 58 px
# down, the picture about 22 px below the frame's top
eval "$(xdotool getwindowgeometry --shell "$main")"
view_x=$((X + 204 + 185)) view_y=$((Y + 58 + 22 + 130))
shot before

xdotool mousemove "$view_x" "$view_y" mousedown 1
for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove "$((view_x + step * 12))" "$((view_y + step * 3))"
    sleep 0.05
done
xdotool mouseup 1
sleep 0.5
shot after
changed=$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1)
((${changed%%.*} > 1000)) || fail "dragging in the 3D window changed $changed pixels of its picture"

xdotool key Scroll_Lock
capture=$work/view3d/base/capture/cap0000.bmp
for ((i = 0; i < 50; i++)); do [[ -s $capture ]] && break; sleep 0.1; done
[[ -s $capture ]] || fail "Scroll Lock left no $capture"
colours=$(identify -format "%k" "$capture")
((colours > 100)) || fail "the screenshot has $colours colours: it does not show the scene"

# --- click the ball: where it is drawn comes from the device's own picking, read through the
# console, in the picture's coordinates (the picture starts 204 px right of the window's corner
# and 58 + 22 px down)
out=$work/view3d/ball.txt
keys alt+3
xdotool type --delay 10 "d = vorn.os.GetObject('kx:/dev'); \
at = [(x, y) for y in range(0, d.height, 6) for x in range(0, d.width, 6) \
if getattr(d.Pick(x, y), 'name', '') == 'Ball']; \
open('$out', 'w').write('%d %d' % (sum(p[0] for p in at) // len(at), sum(p[1] for p in at) // len(at)))"
xdotool key Return
for ((i = 0; i < 100; i++)); do [[ -s $out ]] && break; sleep 0.1; done
read -r ball_x ball_y <<<"$(cat "$out" 2>/dev/null)"
[[ -n ${ball_y:-} ]] || fail "the console did not say where the ball is drawn"
xdotool mousemove "$((X + 204 + ball_x))" "$((Y + 58 + 22 + ball_y))" click 1
sleep 0.5
xdotool key f
sleep 0.5
out=$work/view3d/selected.txt
keys alt+3
xdotool type --delay 10 "s = app.browser.GetSelected(); h = d.Highlighted(); \
c = d.scene.camera.target; (bx, by, bz), r = s.Bounds(); \
framed = abs(c.x - bx) + abs(c.y - by) + abs(c.z - bz) < 1e-3; \
app.browser.Browse(d.scene.camera); \
open('$out', 'w').write('%s %s %d %s' % (s.name, h.name, framed, d.Highlighted()))"
xdotool key Return
for ((i = 0; i < 100; i++)); do [[ -s $out ]] && break; sleep 0.1; done
[[ $(cat "$out" 2>/dev/null) == "Ball Ball 1 None" ]] ||
    fail "after a click on the ball, F and browsing the camera: '$(cat "$out" 2>/dev/null)'" \
        "(selected, marked, framed, mark once the camera is selected)"

keys alt+f x
finish 0

echo "e2e view3d: all checks passed"
