#!/usr/bin/env bash
# The real program under Xvfb as a user meets it: its title, Ctrl+N opening a text window and
# Ctrl+F4 closing it, File > Exit ending with status 0 and the window's size stored; a start with
# a settings file it cannot write; and a runtime that cannot start, reported in a box (exit 255).
# Usage: test_shell.sh MOSSWICK "EXPECTED TITLE" SHOT_DIR; exits 77 (skipped) without the tools.
set -uo pipefail

if [[ ${1:-} != --inside ]]; then
    for tool in xvfb-run xdotool import compare; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
    done
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside "$@"
fi
shift
app=$1 title=$2 shots=$3
work=$(mktemp -d)
pid=
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    mkdir -p "$shots"
    import -window root "$shots/test_shell-failure.png" && echo "screenshot: $shots/test_shell-failure.png"
    [[ -n $pid ]] && kill "$pid" 2>/dev/null
    for log in "$work"/*/app.log; do [[ -f $log ]] && { echo "--- $log"; tail -n 20 "$log"; }; done
    exit 1
}

# start NAME [VAR=VALUE...]: the program with VORN_* folders of its own below $work/NAME.
start() {
    local home=$work/$1
    shift
    mkdir -p "$home"/{res,macros,base,config,data}
    env QT_QPA_PLATFORM=xcb VORN_SETTINGS="$home/settings.json" VORN_RESDIR="$home/res/" \
        VORN_MACRODIR="$home/macros/" VORN_BASEDIR="$home/base/" XDG_CONFIG_HOME="$home/config" \
        XDG_DATA_HOME="$home/data" "$@" "$app" >"$home/app.log" 2>&1 &
    pid=$!
}

# window PATTERN: the id of the first visible window whose name matches, once it exists.
window() {
    local id
    id=$(timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n 1)
    [[ -n $id ]] || fail "no window named like '$1' within 30 s"
    echo "$id"
}

# finish EXPECTED: waits up to 30 s for the program to end and checks its exit status.
finish() {
    local i status
    for ((i = 0; i < 300; i++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end"
    wait "$pid"
    status=$?
    pid=
    [[ $status == "$1" ]] || fail "exit status $status, expected $1"
}

# Keys go to the focused window; without a window manager focus is set directly.
keys() {
    xdotool windowfocus --sync "$main"
    xdotool key --delay 100 "$@"
    sleep 0.5
}

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

# --- a settings file that cannot be written (its folder is a file) does not stop the program
: >"$work/blocker"
start readonly VORN_SETTINGS="$work/blocker/settings.json"  # later values win in env
main=$(window "^Mosswick")
sleep 1
keys alt+f x
finish 0

# --- a runtime that cannot start: a box says why and the program ends with 255
mkdir -p "$work/nopython"
start broken PYTHONHOME="$work/nopython"
box=$(window "^Vorn Startup Failed$")
xdotool windowfocus --sync "$box"
xdotool key Return
finish 255

echo "e2e shell: all checks passed"
