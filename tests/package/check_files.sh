#!/usr/bin/env bash
# Lays out a package afresh and checks that it holds exactly the files named.
#
#   check_files.sh install CMAKE BUILD_DIR FOLDER FILE...   cmake --install into FOLDER
#   check_files.sh unzip   CMAKE ZIP       FOLDER FILE...   unpack ZIP into FOLDER
#
# FILEs are relative to FOLDER. A missing file and a stray one both fail, so
# that a package can neither lose a MEX file nor pick up build litter.
set -euo pipefail

mode=$1 cmake=$2 source=$3 folder=$4
shift 4

rm -rf "$folder"
mkdir -p "$folder"
case "$mode" in
    install) "$cmake" --install "$source" --prefix "$folder" >/dev/null ;;
    unzip)   source=$(realpath "$source")
             (cd "$folder" && "$cmake" -E tar xf "$source") ;;
    *)       echo "check_files.sh: unknown mode $mode" >&2; exit 2 ;;
esac

expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
found=$(cd "$folder" && find . -type f -printf '%P\n' | LC_ALL=C sort)
if [[ "$found" != "$expected" ]]; then
    echo "$mode into $folder: the files differ from the list (- missing, + stray):" >&2
    diff <(echo "$expected") <(echo "$found") | grep '^[<>]' | sed 's/^</-/; s/^>/+/' >&2
    exit 1
fi
echo "$mode: $# files, as listed"
