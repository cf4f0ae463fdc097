# Sourced by the scripts: work from the repository root with Debian's tools only. The pyenv
# shims come first on PATH on our machines; the build and the tests must never pick them up.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PATH=$(printf '%s' "$PATH" | tr ':' '\n' | grep -v '/\.pyenv/' | paste -sd: -)
export PATH
jobs=$(nproc)

cxx_files() {  # our C++ sources, tracked or new but never ignored, NUL-separated
    local f
    while IFS= read -r -d '' f; do
        [[ -f $root/$f ]] && printf '%s\0' "$f"
    done < <(git -C "$root" ls-files -z --cached --others --exclude-standard -- '*.h' '*.cpp')
}
