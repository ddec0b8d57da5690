#!/bin/sh
# The simulator on a command line it answers without playing (arguments after
# the text): it exits with the status, the stream (stdout or stderr) holds the
# text and the other stream nothing.
set -eu
sim=$1 status=$2 stream=$3 text=$4
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
got=0
"$sim" "$@" >"$work/stdout" 2>"$work/stderr" || got=$?
other=$([ "$stream" = stdout ] && echo stderr || echo stdout)
[ "$got" -eq "$status" ] && grep -qF -- "$text" "$work/$stream" && [ ! -s "$work/$other" ] && exit 0
cat "$work/stdout" "$work/stderr" >&2
echo "hybrid-sim $*: exit status $got (expected $status), \"$text\" expected on $stream, nothing on $other" >&2
exit 1
