#!/usr/bin/env bash
# The command line as a user meets it: --help and --version answer without a display, an unknown
# option is refused with status 2, Qt's options still work, and an interactive run keeps the
# console's lines off the terminal.
set -u
app=$1
work=$(mktemp -d)
trap 'rm -rf "$work"; [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null' EXIT
export VORN_SETTINGS=$work/settings.json VORN_RESDIR=$work/res/ VORN_MACRODIR=$work/macros/ \
       VORN_BASEDIR=$work/base/ XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
fail() { echo "FAIL: $*"; exit 1; }

# no display and no platform: --help must not make the application object
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$app" --help >"$work/out" 2>&1 ||
    fail "--help exited $?"
grep -q -- "--batch" "$work/out" && grep -q -- "--version" "$work/out" ||
    { cat "$work/out"; fail "--help does not list the options"; }
grep -q "^> " "$work/out" && fail "--help started the tool"

env -u DISPLAY -u QT_QPA_PLATFORM timeout 20 "$app" --version >"$work/out" 2>&1 ||
    fail "--version exited $?"
grep -Eq "^mosswick [0-9]+\.[0-9]+\.[0-9]+" "$work/out" || { cat "$work/out"; fail "no version"; }

vornrun=$(dirname "$app")/vornrun
"$vornrun" --version | grep -Eq "^vornrun [0-9]+\.[0-9]+" || fail "vornrun --version"
"$vornrun" --help | grep -q "usage: vornrun" || fail "vornrun --help"

timeout 20 "$app" --no-such-option >"$work/out" 2>"$work/err"
status=$?
[ $status -eq 2 ] || fail "an unknown option exited $status, not 2"
grep -q "unknown option --no-such-option" "$work/err" || fail "the unknown option was not named"
[ -s "$work/out" ] && fail "an unknown option printed to stdout"

# Qt's own option in front of a batch run, after "--" a name that looks like an option
printf 'print("batch says hello")\n' >"$work/hello.py"
env -u QT_QPA_PLATFORM timeout 120 "$app" -platform offscreen --batch "$work/hello.py" \
    >"$work/out" 2>&1 || { cat "$work/out"; fail "-platform offscreen with --batch failed"; }
grep -q "batch says hello" "$work/out" || fail "a batch run's output did not reach the terminal"
timeout 20 "$app" -platform offscreen -- --help >"$work/out" 2>&1 &
pid=$!
sleep 0.5
grep -q "^Usage" "$work/out" && fail "--help after -- was taken as an option"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
pid=

# an interactive run shows the console's lines in the console only
printf 'print("said in the console")\nopen(__file__ + ".ran", "w").write("ok")\n' >"$work/says.py"
env QT_QPA_PLATFORM=offscreen "$app" "$work/says.py" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 200); do [ -f "$work/says.py.ran" ] && break; sleep 0.1; done
[ -f "$work/says.py.ran" ] || fail "the file named on the command line did not run"
sleep 0.3
grep -Eq "said in the console|^> import" "$work/out" &&
    { cat "$work/out"; fail "an interactive run printed the console's lines to the terminal"; }
exit 0
