"""Every default macro compiles; catches a syntax error in a shipped script."""
import os
import sys

root = os.path.join(os.environ["MOSSWICK_SOURCE_DIR"], "resources", "macros")
scripts = []
for folder, _, files in os.walk(root):
    scripts += [os.path.join(folder, f) for f in files if f.endswith(".py")]
for path in scripts:
    with open(path, encoding="utf-8") as f:
        source = f.read()
    compile(source, path, "exec")
    assert source.startswith('"""'), path + " has no hint line"
if len(scripts) < 5:
    sys.exit("default macros missing: %d found in %s" % (len(scripts), root))
print("%d default macros compile" % len(scripts))
