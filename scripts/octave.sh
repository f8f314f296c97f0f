#!/usr/bin/env bash
# Runs GNU Octave without GUI or start-up files, with voxblur.oct and the
# scripts that draw the README's pictures (docs/) on the path. Octave 7 prints "ignoring const
# execution_exception& while preparing to exit" on every exit; that line is
# noise and is dropped.
top=$(cd "$(dirname "$0")/.." && pwd)
exec octave --no-gui --no-window-system -q --norc \
    --path "$top/out/octave" --path "$top/docs" "$@" \
    2> >(grep -v --line-buffered 'ignoring const execution_exception& while preparing to exit' >&2)
