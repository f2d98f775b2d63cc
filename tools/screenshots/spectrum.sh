#!/bin/bash
# Takes docs/spectrum.png: drives the program under Xvfb with xdotool and grabs the screen.
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/screenshots/spectrum.sh build/app/kalvor docs
# Needs xvfb, xdotool and imagemagick. Clicks at fixed positions of the 1280 x 800 window (the result dialog, the DFT button).
K=$1; OUT=$2
# The program's defaults, whatever the View menu choices of this user are.
export XDG_CONFIG_HOME=$(mktemp -d)
$K &
PID=$!
sleep 4
WIN=$(xdotool search --sync --name "Kalvo1" | head -1)
xdotool windowsize $WIN 1280 800; sleep 1
f() { xdotool windowfocus $WIN; sleep 0.3; }
f; xdotool key F5; sleep 1.5
xdotool key Return; sleep 6
xdotool key Return; sleep 1.5
xdotool mousemove 127 300 click 1; sleep 0.5
xdotool mousemove 722 300 click 3; sleep 0.5

xdotool mousemove 434 34 click 1; sleep 1.5
xdotool type "15"; xdotool key Return; sleep 12
xdotool mousemove 180 700; sleep 1
import -window root $OUT/spectrum.png
kill $PID
rm -rf "$XDG_CONFIG_HOME"
