#!/bin/sh
# Plays the device scenario and checks what its log cannot show: the splash
# screenshot differs from the page's, and each status-bar screenshot from the
# one before it.
set -eu
sim=$1 bundle=$2 scenario=$3 work=$4
rm -rf "$work"
"$sim" --bundle "$bundle" --scenario "$scenario" --shots "$work/shots" --home "$work/home" --timeout 100
count=$(find "$work/shots" -name '*.png' | wc -l)
if [ "$count" -lt 2 ]; then
    echo "device scenario: $count screenshots, expected one a step" >&2
    exit 1
fi
previous=""
for shot in "$work"/shots/*.png; do
    if [ -n "$previous" ] && cmp -s "$previous" "$shot"; then
        echo "device scenario: $(basename "$shot") looks the same as $(basename "$previous")" >&2
        exit 1
    fi
    previous=$shot
done
echo "device scenario: $(ls "$work"/shots | wc -l) screenshots, each different from the one before"
