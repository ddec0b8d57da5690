#!/bin/sh
# Plays a scenario and checks what its log cannot show: no screenshot is
# blank (fully transparent or one flat colour; one opaque colour passes for a
# step named with --flat, one that shows only the page, which the web view
# does not draw), and with
# --all-differ each screenshot differs from every other one (a splash from
# the page, each status-bar style from the last, each stage of a card scan
# from the others). --shows NAME=RRGGBB:MIN checks that the shot of
# the step named NAME shows what its name claims: at least MIN per cent of
# its pixels near that colour (shot_check --colour). --screen plays
# it on another screen than the default.
#
# sim_scenario_shots.sh SIM BUNDLE SCENARIO WORK SHOT_CHECK [--all-differ] [--flat NAME]...
#                       [--shows NAME=RRGGBB:MIN]... [--screen WxH@S]
set -eu
sim=$1 bundle=$2 scenario=$3 work=$4 shot_check=$5
shift 5
all_differ=no flat=" " shows=" " screen=
while [ $# -gt 0 ]; do
    case $1 in
    --all-differ) all_differ=yes ;;
    --flat) flat="$flat$2 "; shift ;;
    --shows) shows="$shows$2 "; shift ;;
    --screen) screen="--screen $2"; shift ;;
    *) echo "sim_scenario_shots.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
name=$(basename "$scenario" .json)
rm -rf "$work"
"$sim" --bundle "$bundle" --scenario "$scenario" --shots "$work/shots" --home "$work/home" --timeout 100 $screen
count=$(find "$work/shots" -name '*.png' | wc -l)
minimum=1
[ "$all_differ" = yes ] && minimum=2
if [ "$count" -lt "$minimum" ]; then
    echo "$name scenario: $count screenshots, expected one a step" >&2
    exit 1
fi
for shot in "$work"/shots/*.png; do
    step=$(basename "$shot" .png)
    case $flat in
    *" ${step#*-} "*) allow=--allow-flat ;;
    *) allow= ;;
    esac
    if ! "$shot_check" $allow "$shot"; then
        echo "$name scenario: $(basename "$shot") shows nothing" >&2
        exit 1
    fi
    for claim in $shows; do
        [ "${claim%%=*}" = "${step#*-}" ] || continue
        if ! "$shot_check" --colour "${claim#*=}" "$shot"; then
            echo "$name scenario: $(basename "$shot") does not show what ${step#*-} claims" >&2
            exit 1
        fi
    done
done
if [ "$all_differ" = yes ]; then
    for shot in "$work"/shots/*.png; do
        for other in "$work"/shots/*.png; do
            if [ "$shot" \< "$other" ] && cmp -s "$shot" "$other"; then
                echo "$name scenario: $(basename "$other") looks the same as $(basename "$shot")" >&2
                exit 1
            fi
        done
    done
    echo "$name scenario: $count screenshots, none blank, all different"
else
    echo "$name scenario: $count screenshots, none blank"
fi
