#!/bin/sh
# Plays a scenario that must end in a given way: the exit status it must
# give and a line its log must hold. A crash, a hang past the watchdog or a
# sanitizer report gives another status or no such line. Arguments after
# the line go to the simulator.
set -eu
sim=$1 bundle=$2 scenario=$3 work=$4 timeout=$5 status=$6 line=$7
shift 7
rm -rf "$work"
mkdir -p "$work"
got=0
"$sim" --bundle "$bundle" --scenario "$scenario" --home "$work/home" --timeout "$timeout" "$@" >"$work/log" 2>&1 || got=$?
if [ "$got" -ne "$status" ] || ! grep -qF -- "$line" "$work/log"; then
    tail -n 40 "$work/log" >&2
    echo "$(basename "$scenario"): exit status $got (expected $status), line \"$line\" $(grep -qF -- "$line" "$work/log" && echo found || echo missing)" >&2
    exit 1
fi
echo "$(basename "$scenario"): exit status $got with \"$line\""
