#!/usr/bin/env bash
# Keeps the libraries layered: a file under src/<folder>/ may include headers of its own folder
# and of folders on lower layers only, and the runtime includes nothing of the app. A new folder
# must be given its layer here.
# usage: check_layers.sh SOURCE_DIR
set -u
root=${1:?usage: check_layers.sh SOURCE_DIR}
declare -A layer=([core]=0 [platform]=0 [shell]=1 [script]=2 [editors]=2 [web]=2 [watch]=2 [browser]=3
                  [view3d]=3 [app]=4)
failed=0

includes() {  # includes FILE: "LINE:PATH" for each #include "PATH"
    grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$1" |
        sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/'
}

sources() {  # sources DIR: the C++ files below DIR, NUL-separated
    find "$1" \( -name '*.h' -o -name '*.cpp' \) -print0
}

for dir in "$root"/src/*/; do
    folder=$(basename "$dir")
    if [[ -z ${layer[$folder]:-} ]]; then
        echo "src/$folder has no layer: add it to tests/layers/check_layers.sh"
        failed=1
    fi
done

while IFS= read -r -d '' file; do
    relative=${file#"$root"/}
    folder=${relative#src/}
    folder=${folder%%/*}
    own=${layer[$folder]:-}
    [[ -n $own ]] || continue
    while IFS=: read -r line included; do
        target=${included%%/*}
        [[ $target != "$included" && -n ${layer[$target]:-} && $target != "$folder" ]] || continue
        if ((layer[$target] >= own)); then
            echo "$relative:$line: includes $included, which is not below src/$folder"
            failed=1
        fi
    done < <(includes "$file")
done < <(sources "$root/src")

while IFS= read -r -d '' file; do
    while IFS=: read -r line included; do
        target=${included%%/*}
        if [[ $target != "$included" && -n ${layer[$target]:-} ]]; then
            echo "${file#"$root"/}:$line: the runtime includes $included of the app"
            failed=1
        fi
    done < <(includes "$file")
done < <(sources "$root/runtime")

((failed)) || echo "layers: every include points down"
exit $failed
