#!/bin/sh
# Plays a scenario and checks what its log cannot show: each screenshot
# differs from every other one (a splash from the page, each status-bar
# style from the last, each stage of a card scan from the others).
set -eu
sim=$1 bundle=$2 scenario=$3 work=$4
name=$(basename "$scenario" .json)
rm -rf "$work"
"$sim" --bundle "$bundle" --scenario "$scenario" --shots "$work/shots" --home "$work/home" --timeout 100
count=$(find "$work/shots" -name '*.png' | wc -l)
if [ "$count" -lt 2 ]; then
    echo "$name scenario: $count screenshots, expected one a step" >&2
    exit 1
fi
for shot in "$work"/shots/*.png; do
    for other in "$work"/shots/*.png; do
        if [ "$shot" \< "$other" ] && cmp -s "$shot" "$other"; then
            echo "$name scenario: $(basename "$other") looks the same as $(basename "$shot")" >&2
            exit 1
        fi
    done
done
echo "$name scenario: $count screenshots, all different"
