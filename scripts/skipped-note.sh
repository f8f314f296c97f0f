#!/usr/bin/env bash
# The closing line of make test: which case tables the build trees skipped
# and why, or nothing when none did. A tree that skips its case tables says
# so in skipped-case-tables.txt when it is configured (tests/mex_file/):
# the MEX file's name, then the reason.
#   skipped-note.sh BUILD_TREE...
set -euo pipefail

files=()
reasons=""
for tree in "$@"; do
    note=$tree/skipped-case-tables.txt
    [[ -f $note ]] || continue
    { read -r file; read -r reason; } <"$note"
    files+=("$file")
    [[ "; $reasons; " == *"; $reason; "* ]] || reasons=${reasons:+$reasons; }$reason
done
count=${#files[@]}
[[ $count -eq 0 ]] && exit 0

if [[ $count -eq 1 ]]; then
    echo "skipped: the ${files[0]} case tables ($reasons)"
else
    first=$(IFS=,; echo "${files[*]:0:count-1}" | sed 's/,/, /g')
    echo "skipped: the $first and ${files[count-1]} case tables ($reasons)"
fi
