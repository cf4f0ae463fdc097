#!/usr/bin/env bash
# scripts/screenshots run against the built program into a temporary folder: each of the README's
# pictures must be a PNG of the main window's size, neither empty nor too big for the read-me,
# and no two alike (a step that did not happen would leave the same picture twice).
# Usage: test_screenshots.sh MOSSWICK; exits 77 (skipped) without the tools.
set -uo pipefail

for tool in Xvfb xdotool import convert identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

MOSSWICK=$1 "$(dirname "$0")/../../scripts/screenshots" "$out" || {
    echo "FAIL: scripts/screenshots ended with status $?"
    exit 1
}

sums=
for name in main-window color-editor view3d console-completion; do
    file=$out/$name.png
    [[ $(identify -format '%m %wx%h' "$file" 2>&1) == "PNG 1280x800" ]] ||
        { echo "FAIL: $name.png is '$(identify -format '%m %wx%h' "$file" 2>&1)', expected 'PNG 1280x800'"; exit 1; }
    size=$(stat -c %s "$file")
    ((size > 20000 && size < 400000)) || { echo "FAIL: $name.png has $size bytes"; exit 1; }
    sums+=$(md5sum <"$file")$'\n'
done
(($(sort -u <<<"$sums" | grep -c .) == 4)) || { echo "FAIL: two of the pictures are the same"; exit 1; }

echo "e2e screenshots: all checks passed"
