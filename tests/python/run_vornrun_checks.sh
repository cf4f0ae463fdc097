#!/bin/sh
# vornrun end to end: exit status, output order, arguments, and what a user sees when a script,
# a tasklet or a script file raises, or when tasklets wait for something that never comes.
# usage: run_vornrun_checks.sh PATH/TO/vornrun
set -u
vornrun=${1:?usage: run_vornrun_checks.sh PATH/TO/vornrun}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VORN_SETTINGS="$work/settings.json" VORN_RESDIR="$work/res/" VORN_MACRODIR="$work/macros/"
export VORN_BASEDIR="$work/base/"
unset PYTHONUNBUFFERED  # the order of the output must not depend on the caller's environment
passed=0
failed=0

fail() {
    echo "FAIL: $check: $*"
    echo "--- output of vornrun:"
    cat "$work/out"
    echo "---"
    failed=$((failed + 1))
}

# check NAME: starts a check whose script is read from standard input.
check() {
    check=$1
    cat >"$work/$check.py"
}

# run STATUS [ARG...]: runs the check's script with stdout and stderr in one stream, the sanitizer's
# notes about stack switching left out; a wrong exit status or a run over 60 s fails the check.
run() {
    want=$1
    shift
    timeout 60 "$vornrun" "$work/$check.py" "$@" >"$work/raw" 2>&1
    status=$?
    grep -v -e '^==[0-9]*==WARNING: ASan' -e '^False positive error reports may follow' \
        -e '^For details see https://github.com/google/sanitizers/issues/189' \
        "$work/raw" >"$work/out"
    if [ "$status" -eq 124 ]; then
        fail "vornrun did not end within 60 s"
        return 1
    fi
    if [ "$status" -ne "$want" ]; then
        fail "exit status $status, expected $want"
        return 1
    fi
}

# same: the output is exactly standard input.
same() {
    if cmp -s - "$work/out"; then passed=$((passed + 1)); else fail "unexpected output"; fi
}

# has PATTERN WHAT: some line of the output matches the basic regular expression PATTERN.
has() {
    if grep -q -e "$1" "$work/out"; then passed=$((passed + 1)); else fail "$2"; fi
}

# lacks PATTERN WHAT: no line of the output matches the basic regular expression PATTERN.
lacks() {
    if grep -q -e "$1" "$work/out"; then fail "$2"; else passed=$((passed + 1)); fi
}

# in_order: every line of standard input appears as a whole line of the output, in this order.
in_order() {
    if awk 'NR == FNR { want[++n] = $0; next }
            i < n && $0 == want[i + 1] { i++ }
            END { exit i == n ? 0 : 1 }' - "$work/out"; then
        passed=$((passed + 1))
    else
        fail "expected lines missing or out of order"
    fi
}

# Catches output reordered between stdout and stderr, and a run that ends before its tasklets.
check clean <<'EOF'
import sys
import vorn.synchro as synchro

def late():
    print("tasklet starts")
    synchro.Sleep(20)
    sys.stderr.write("tasklet ends on stderr\n")

print("one")
sys.stderr.write("two on stderr\n")
print("three")
synchro.Start(late)
print("script ends")
EOF
run 0 && same <<'EOF'
one
two on stderr
three
tasklet starts
script ends
tasklet ends on stderr
EOF

# Catches arguments lost, split at spaces or shifted.
check argv <<'EOF'
import sys
print(sys.argv[1:])
print(sys.argv[0].endswith("argv.py"))
EOF
run 0 first "with space" --flag && same <<'EOF'
['first', 'with space', '--flag']
True
EOF

# Catches sys.exit(0) counted as a failure or reported, or the script going on after it.
check clean_exit <<'EOF'
import sys
print("before")
sys.exit(0)
print("never")
EOF
run 0 && same <<'EOF'
before
EOF

# Catches a script that raises before it ever waits and still ends with status 0.
check script_raises <<'EOF'
print("before the error")
raise ValueError("script failed")
EOF
run 1 && in_order <<'EOF'
before the error
Traceback (most recent call last):
ValueError: script failed
EOF

# Catches a failure of a script resumed by the runtime that does not reach the exit status.
check script_raises_after_waiting <<'EOF'
import vorn.synchro as synchro
synchro.Sleep(5)
raise ValueError("failed after waiting")
EOF
run 1 && in_order <<'EOF'
Traceback (most recent call last):
ValueError: failed after waiting
EOF

# Catches a tasklet's error raised in its starter, not printed, or not counted (before and
# after its first wait).
check tasklet_raises <<'EOF'
import vorn.synchro as synchro

def at_once():
    raise KeyError("before waiting")

def later():
    synchro.Sleep(5)
    raise KeyError("after waiting")

synchro.Start(at_once)
print("the script goes on, failures:", synchro.Failures())
synchro.Start(later)
print("script ends")
EOF
run 1 && in_order <<'EOF'
Traceback (most recent call last):
KeyError: 'before waiting'
the script goes on, failures: 1
script ends
Traceback (most recent call last):
KeyError: 'after waiting'
EOF

# Catches a run that hangs on a tasklet nobody resumes, or ends without its clean-up.
check waits_forever <<'EOF'
import vorn.synchro as synchro

def forever():
    try:
        print("waits")
        synchro.Block()
        print("never resumed")
    finally:
        print("clean-up runs")

synchro.Start(forever)
print("script ends")
EOF
run 1 && same <<'EOF'
waits
script ends
vornrun: 1 tasklet(s) wait for something that never comes
clean-up runs
EOF

# Catches a shut-down that spins for ever on a tasklet that swallows its exit and blocks again,
# or gives up on it without saying where it waits.
check refuses_to_end <<'EOF'
import vorn.synchro as synchro

def stubborn():
    while True:
        try:
            synchro.Block()
        except BaseException:
            pass

synchro.Start(stubborn)
EOF
run 1 && has '^A tasklet would not end and was abandoned at shutdown: File ".*refuses_to_end.py", line 6, in stubborn$' \
    "the abandoned tasklet was not reported"

# Catches a crash at shut-down while script attributes still refer back to their objects.
check attribute_cycles <<'EOF'
import vorn.os as vos
a, b = vos.CreateInstance("vorn.List"), vos.CreateInstance("vorn.List")
a.me, a.owner, b.parts = a, b, [a]
print("cycles made")
EOF
run 0 && same <<'EOF'
cycles made
EOF

# Catches a script file's error raised in the script that ran it, or not counted as a failure.
check script_file_raises <<'EOF'
import os, vorn.pyos, vorn.synchro as synchro
inner = os.path.join(os.path.dirname(__file__), "inner.py")
with open(inner, "w") as f:
    f.write("print('inner runs')\nraise OSError('inner failed')\n")
print("answer:", vorn.pyos.ExecFile(inner), "failures:", synchro.Failures())
EOF
run 1 && in_order <<'EOF'
inner runs
Traceback (most recent call last):
OSError: inner failed
answer: False failures: 1
EOF

# Catches a script file that cannot be read passing silently, or without its reason.
check missing_script <<'EOF'
EOF
rm "$work/missing_script.py"
run 1 && has '^ExecFile: Cannot read .*/missing_script.py: No such file or directory$' \
    "no reason given for the missing script"

# Catches a script with a NUL byte run up to the NUL and counted a success: Python refuses it.
check nul_in_script </dev/null
printf 'print("runs")\nx = 1\0\nprint("after the NUL")\n' >"$work/nul_in_script.py"
run 1 && same <<EOF
  File "$work/nul_in_script.py", line 2
    x = 1
SyntaxError: source code cannot contain null bytes
EOF

# Catches ExecFile of a pipe waiting for a writer instead of refusing what is no regular file.
check pipe_script <<'EOF'
import os, vorn.pyos
pipe = os.path.join(os.path.dirname(__file__), "pipe.py")
os.mkfifo(pipe)
print("answer:", vorn.pyos.ExecFile(pipe))
EOF
run 1 && same <<EOF
ExecFile: Cannot read $work/pipe.py: it is a named pipe, not a regular file
answer: False
EOF

# Catches a script that runs itself without end losing its traceback ("lost sys.stderr"), or a
# level going on (and answering True) after the recursion failed inside it.
check runs_itself <<'EOF'
import vorn.pyos
answer = vorn.pyos.ExecFile(__file__)
print("a level went on, answered", answer)
EOF
run 1 && has '^RecursionError: maximum recursion depth exceeded' "the traceback was lost" &&
    lacks 'went on' "a level went on after the recursion failed"

# The test files of tests/python rely on these: unittest.main() finds the script's own tests (the
# script is the module __main__), and a failure's SystemExit(True) reaches vornrun's status, with
# a note that it ended only the script.
check unittest_passes <<'EOF'
import pickle
import unittest

class Point:
    def __init__(self, x):
        self.x = x

class Case(unittest.TestCase):
    def test_a_class_of_the_script_pickles(self):
        self.assertEqual(pickle.loads(pickle.dumps(Point(3))).x, 3)

unittest.main()
EOF
run 0 && has '^Ran 1 test in' "unittest.main() did not run the script's test"

check unittest_fails <<'EOF'
import unittest

class Case(unittest.TestCase):
    def test_fails(self):
        self.fail("on purpose")

unittest.main()
EOF
run 1 && in_order <<'EOF'
AssertionError: on purpose
FAILED (failures=1)
SystemExit(True) ends only the script, not the program
EOF

# Catches a reason left pending by the start (a settings file that cannot be read) that a later
# call raises as its own error.
check bad_settings <<'EOF'
import vorn.os as vos
lst, item = vos.CreateInstance("vorn.List"), vos.CreateInstance("vorn.List")
lst.append(item)
lst.remove(item)
print("removed, items left:", len(lst))
EOF
echo '{"broken' >"$work/settings.json"
run 0 && same <<'EOF'
removed, items left: 0
EOF

# Catches a release that recurses once per link and overflows the stack (a segfault, status 139)
# when a long chain goes: lists in lists, models holding the next through userData, and a loaded
# branch of nested lists that goes only when the object table lets go at exit. The million-deep
# cases are in the runtime's unit tests; these run the same shapes through vornrun's own end.
check deep_chains <<'EOF'
import os, vorn.os as vos
depth = 200000
for cls, link in (("vorn.List", lambda a, b: a.append(b)),
                  ("kalix.KxModel", lambda a, b: setattr(a, "userData", b))):
    head = last = vos.CreateInstance(cls)
    for i in range(depth):
        next = vos.CreateInstance(cls)
        link(last, next)
        last = next
    del last, next
    head = None
    print(cls, "chain dropped")
path = os.path.join(os.path.dirname(__file__), "deep.vorn")
with open(path, "w") as f:
    f.write('{"format": "vorn-branch", "version": 1, "root": 0, "objects": [')
    f.write("".join('{"class": "vorn.List", "items": [%d]},' % (i + 1) for i in range(depth)))
    f.write('{"class": "vorn.List"}]}')
print("loaded:", len(vos.Load(path)))
EOF
run 0 && same <<'EOF'
vorn.List chain dropped
kalix.KxModel chain dropped
loaded: 1
EOF

# Catches what a script wrote to a file it left open lost at exit: the script's namespace lives
# on in a cycle through the function that uses the file, and only clearing it before the last
# collection flushes the text before the file closes.
check open_file_at_exit <<'EOF'
import sys
out = open(sys.argv[1], "w")
def use():
    out.write("never")
out.write("end")
EOF
run 0 "$work/left_open.txt" && if [ "$(cat "$work/left_open.txt")" = end ]; then
    passed=$((passed + 1))
else
    fail "the file holds '$(cat "$work/left_open.txt")', not 'end'"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
