#!/usr/bin/env bash
# The bash completion of celshade-tool: what it offers for a few command lines.
# Usage: completion-test.sh COMPLETION_FILE
set -u
source "$1"
cd "$(mktemp -d)" && touch model.x notes.txt && mkdir frames
failed=0
expect() {  # expect "WANTED WORDS" WORD...
    local wanted=$1
    shift
    COMP_WORDS=(celshade-tool "$@")
    COMP_CWORD=$#
    _celshade_tool
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [ "$got" != "$wanted " ] && [ "$got" != "$wanted" ]; then
        echo "celshade-tool $*<TAB>: got '$got', wanted '$wanted'"
        failed=1
    fi
}
expect "info" i
expect "render" r
expect "--help --version" --
expect "--turntable" render model.x --tu
expect "--help --out --threshold --time-limit" edges model.x --
expect "--help --time-limit" info --
expect "frames" render model.x --out-dir ""
expect "frames model.x notes.txt" render ""
expect "model.x" render mo
expect "" render model.x --fps ""
expect "" info --time-limit ""
exit $failed
