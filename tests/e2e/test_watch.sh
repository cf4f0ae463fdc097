#!/usr/bin/env bash
# A watch added as a person would: in the real program under Xvfb the first model's material is
# reached in the tree, its shininess row made current in the member grid, the grid's popup
# opened with the menu key and "Watch" chosen; the Watches window opens, and while a script
# raises the shininess the watch's samples (what its plot draws) follow it, read back through
# the console.
# Usage: test_watch.sh MOSSWICK SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

source "$(dirname "$0")/lib.sh"

out=$work/watch/samples.txt

start watch
main=$(window "^Mosswick")
sleep 1

# "Go to ROT", then down to the material as the browser test does
world
seek "models"
keys Right Right
keys Right
seek "material"
# the material's rows: name, diffuse, specular, emissive, shininess
keys Tab Down Down Down Down
keys Menu
keys w
sleep 0.5

keys alt+3
xdotool type --delay 15 "import vorn.synchro; m = vorn.os.GetObject('kx:/world').models[0].material; \
vorn.synchro.Start(lambda: [(setattr(m, 'shininess', 10 + i), vorn.synchro.Sleep(30)) for i in range(60)])"
xdotool key Return
sleep 3
xdotool type --delay 15 "s = app.browser.WatchSamples(0); open('$out', 'w').write('%s %d %g %g\n' % \
(app.browser.WatchList()[0][0].endswith('.shininess'), len(s), s[0][1], s[-1][1]))"
xdotool key Return
for ((i = 0; i < 100; i++)); do [[ -s $out ]] && break; sleep 0.1; done
read -r path count first last <"$out" || fail "no samples were read back"
[[ $path == True ]] || fail "the watch is not of the shininess: $(cat "$out")"
((count >= 30)) || fail "only $count samples in 3 s of a running clock"
[[ ${first%.*} -lt ${last%.*} ]] || fail "the samples did not follow the value: $(cat "$out")"
((${last%.*} >= 60)) || fail "the last sample $last is not the value the script left"

keys alt+f x
finish 0
