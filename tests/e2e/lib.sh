# What the end-to-end tests share: the run under Xvfb and a screenshot on failure; starting the
# program with folders of its own, finding windows and sending keys come from scripts/drive.sh.
# A test sources this with its arguments; the first is the program, the last the shot folder.

if [[ ${1:-} != --inside ]]; then
    for tool in Xvfb xdotool import compare; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
    done
    # a display of its own, picked by Xvfb, so parallel runs and other X servers never collide
    exec "$(dirname "${BASH_SOURCE[0]}")/../../scripts/with-xvfb" 1280x1024x24 bash "$0" --inside "$@"
fi
shift
app=$1 shots=${!#}
work=$(mktemp -d)
pid=
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    mkdir -p "$shots"
    local shot=$shots/$(basename "$0" .sh)-failure.png
    import -window root "$shot" && echo "screenshot: $shot"
    [[ -n $pid ]] && kill "$pid" 2>/dev/null
    for log in "$work"/*/app.log; do [[ -f $log ]] && { echo "--- $log"; tail -n 60 "$log"; }; done
    exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/drive.sh"
