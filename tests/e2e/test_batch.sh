#!/usr/bin/env bash
# Batch mode of the real binary without a display: scripts run, the tool waits for their
# tasklets, exits 0 or 1, and what the shut-down prints is never lost. The shipped macros run
# against the default world.
set -u
app=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen VORN_SETTINGS=$work/settings.json VORN_RESDIR=$work/res/ \
       VORN_MACRODIR=$work/macros/ VORN_BASEDIR=$work/base/
fail() { echo "FAIL: $*"; exit 1; }

cat > "$work/waits.py" <<'PY'
import app, atexit, vorn
atexit.register(print, "said while shutting down")
def closing():
    for call in (lambda: app.ui.SetStatusText("closing"), lambda: app.browser.Browse({})):
        try:
            call()
        except RuntimeError as e:
            print("at exit:", e)
atexit.register(closing)
vorn.synchro.Sleep(100)
open(__file__ + ".done", "w").write("ok")
PY
printf 'raise ValueError("on purpose")\n' > "$work/raises.py"

timeout 120 "$app" --batch "$work/waits.py" > "$work/out" 2> "$work/err"
status=$?
[ $status -eq 0 ] || fail "a clean batch exited $status"
[ -f "$work/waits.py.done" ] || fail "the tool closed before the script's tasklet ended"
grep -q "said while shutting down" "$work/err" || fail "output of the shut-down was lost"
[ "$(grep -c "at exit: the tool is closing" "$work/err")" -eq 2 ] ||
    fail "a call into the window or the browser that have gone was not refused"

timeout 120 "$app" --batch "$work/raises.py" > "$work/out" 2> "$work/err"
status=$?
[ $status -eq 1 ] || fail "a raising batch exited $status, not 1"
grep -q "ValueError: on purpose" "$work/out" "$work/err" || fail "the script's error was not shown"
# A tasklet nobody wakes ends the run as vornrun ends it; one thrown out no longer counts, and an
# object whose attribute refers back to it no longer crashes the shut-down.
cat > "$work/stuck.py" <<'PY'
import vorn, vorn.synchro as s
o = vorn.os.CreateInstance("vorn.List")
o.me = o
s.Start(s.Block)
s.Start(s.Block).throw()
PY
timeout 120 "$app" --batch "$work/stuck.py" > "$work/out" 2> "$work/err"
status=$?
[ $status -eq 1 ] || fail "a batch with a stuck tasklet exited $status, not 1"
grep -q "^mosswick: 1 tasklet(s) wait for something that never comes" "$work/err" ||
    { cat "$work/err"; fail "the stuck tasklet was not reported as the only one"; }
# What a dropped script wrote to a file it left open reaches the file when the tool closes.
printf 'out = open(__file__ + ".txt", "w")\ndef use():\n    out.write("never")\nout.write("end")\n' \
    > "$work/open.py"
timeout 120 "$app" --batch "$work/open.py" > "$work/out" 2> "$work/err" || fail "open.py failed"
[ "$(cat "$work/open.py.txt")" = end ] || fail "what a script wrote to a file left open was lost"
macros=$(dirname "$app")/macros
timeout 120 "$app" --batch "$macros/World/List ROT.py" "$macros/World/Frame Camera.py" \
    "$macros/World/Spin Model.py" "$macros/World/Screenshot.py" \
    "$macros/PopupMenu/Reload Navigation.py" > "$work/out" 2> "$work/err"
status=$?
[ $status -eq 0 ] || { cat "$work/out" "$work/err"; fail "the shipped macros exited $status"; }
for said in "kx:/world" "Frame Camera: " "Spin Model: " "Screenshot saved to" \
            "Navigation reloaded"; do
    grep -q "$said" "$work/out" || { cat "$work/out"; fail "no '$said' from the shipped macros"; }
done
ls "$work"/base/capture/shot-*.bmp > /dev/null 2>&1 || fail "the screenshot was not saved"
echo "batch checks passed"
