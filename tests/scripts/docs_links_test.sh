#!/usr/bin/env bash
# The README and the guides in docs/: every relative link names a file that is there, and the
# exit codes' table stands in one page only (the others link to it, so it never says two things).
set -euo pipefail
cd "$1"
status=0
for page in README.md docs/*.md; do
    # The target of every [text](target) and ![alt](target), its #anchor cut off.
    for target in $(grep -o '](\([^)]*\))' "$page" | sed 's/^](\(.*\))$/\1/; s/#.*//'); do
        case "$target" in '' | *://* | mailto:*) continue ;; esac
        if [ ! -e "$(dirname "$page")/$target" ]; then
            echo "$page: the link to $target names no file"
            status=1
        fi
    done
done
tables=$(grep -lxF '| exit code | meaning |' README.md docs/*.md || true)
if [ "$(echo "$tables" | grep -c .)" -ne 1 ]; then
    echo "the exit codes' table stands in $(echo "$tables" | grep -c .) pages, not one:" $tables
    status=1
fi
exit $status
