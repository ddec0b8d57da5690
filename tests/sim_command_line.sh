#!/bin/sh
# Runs the simulator on a command line it answers without playing: it must
# exit with the given status, the given stream (stdout or stderr) must hold
# the text and the other stream nothing. Arguments after the text go to the
# simulator.
set -eu
sim=$1 status=$2 stream=$3 text=$4
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
got=0
"$sim" "$@" >"$work/stdout" 2>"$work/stderr" || got=$?
other=stderr
[ "$stream" = stdout ] || other=stdout
if [ "$got" -ne "$status" ] || ! grep -qF -- "$text" "$work/$stream" || [ -s "$work/$other" ]; then
    for name in stdout stderr; do echo "--- $name:" >&2; cat "$work/$name" >&2; done
    echo "hybrid-sim $*: exit status $got (expected $status), \"$text\" expected on $stream, nothing on $other" >&2
    exit 1
fi
echo "hybrid-sim $*: exit status $got with \"$text\" on $stream"
