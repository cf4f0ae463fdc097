# Sourced by the end-to-end tests and scripts/screenshots: the program started with folders of
# its own, windows found by name and driven by keys and clicks under an X display without a
# window manager. The sourcing script sets $app (the program) and $work (a folder it removes)
# and defines fail MESSAGE, which must not return.

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

# within SECONDS COMMAND...: true as soon as COMMAND succeeds, tried every 0.1 s; false when it
# still fails after SECONDS.
within() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return 0; sleep 0.1; done
    return 1
}

# ended: whether the program started last has ended.
ended() { ! kill -0 "$pid" 2>/dev/null; }

# finish EXPECTED: waits up to 30 s for the program to end and checks its exit status.
finish() {
    local status
    within 30 ended || fail "the program did not end"
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

# click X Y: a left click at a point of the main window ($main), from its top-left corner.
click() {
    xdotool mousemove --window "$main" "$1" "$2" click 1
    sleep 0.3
}

# seek TEXT: typed into the focused tree, which moves to the next node whose label starts with
# TEXT; the pause after it keeps the next typing from extending the search.
seek() {
    xdotool windowfocus --sync "$main"
    xdotool type --delay 50 "$1"
    sleep 0.6
}

# world: "Go to ROT" and the world opened: its children camera, models, lights, lines show and
# "kx:/world" is selected. The left page's tool bar sits below the menu and main tool bars and
# the page tabs: its first button, "Go to ROT", is about 18 px right and 96 px down from the
# window's corner. A click in the tree's empty space first gives the tree the focus; the tool
# button does not take it.
world() {
    click 60 300
    click 18 96
    seek "kx:/world"
    keys Right
}

# reads FILE TEXT: whether FILE holds exactly TEXT.
reads() { [[ $(cat "$1" 2>/dev/null) == "$2" ]]; }

# holds FILE TEXT: waits up to 10 s for FILE to hold exactly TEXT; false when it never does.
holds() { within 10 reads "$1" "$2"; }
