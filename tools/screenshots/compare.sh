#!/bin/bash
# Takes docs/compare.png: a healthy run and one with T1 open from 0.05 s, from two documents,
# tiled; the healthy window overlays ia of both runs, the other shows their difference.
#   build/cli/kalvor-cli params --set 'failures.FailT=[2,0,0,0,0,0]' --set failures.Onset=0.05 \
#       --out t1open.kalvor
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/screenshots/compare.sh build/app/kalvor docs t1open.kalvor
# Needs xvfb, xdotool and imagemagick. Drives the program with keys only (mnemonics).
K=$1; OUT=$2; PARAMS=$3
# The program's defaults, whatever the View menu choices of this user are.
export XDG_CONFIG_HOME=$(mktemp -d)
$K $PARAMS &
PID=$!
sleep 4
WIN=$(xdotool search --sync --name "t1open" | head -1)
xdotool windowsize $WIN 1280 800; sleep 1
f() { xdotool windowfocus $WIN; sleep 0.3; }
calculate() { f; xdotool key F5; sleep 1.5; xdotool key Return; sleep ${WAIT:-12}; xdotool key Return; sleep 1.5; }
# The faulty run, then a new document with the healthy defaults.
calculate
f; xdotool key ctrl+n; sleep 1.5
calculate
# Healthy window: ia of the other document added ("Results of:" is Alt+R, "Add to plot" Alt+A).
f; xdotool key ctrl+r; sleep 1.5
xdotool key alt+r Down; sleep 0.5; xdotool key alt+a; sleep 1.5
# Tile, then in the faulty window: the healthy ia added and the difference taken.
f; xdotool key alt+w t; sleep 1.5
f; xdotool key F6; sleep 1
f; xdotool key ctrl+r; sleep 1.5
xdotool key alt+r Down; sleep 0.5; xdotool key alt+a; sleep 1.5
f; xdotool key alt+t e; sleep 2
xdotool mousemove 1270 790; sleep 1
import -window root $OUT/compare.png
kill $PID
rm -rf "$XDG_CONFIG_HOME"
