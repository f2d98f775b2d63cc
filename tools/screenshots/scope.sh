#!/bin/bash
# Takes docs/scope.png: drives the program under Xvfb with xdotool and grabs the screen.
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/screenshots/scope.sh build/app/kalvor docs
# Needs xvfb, xdotool and imagemagick. Clicks at fixed positions of the 1280 x 800 window (the result dialog, the DFT button).
K=$1; OUT=$2
$K &
PID=$!
sleep 4
WIN=$(xdotool search --sync --name "Kalvo1" | head -1)
xdotool windowsize $WIN 1280 800; sleep 1
f() { xdotool windowfocus $WIN; sleep 0.3; }
f; xdotool key F5; sleep 1.5
xdotool key Return; sleep 6
xdotool key Return; sleep 1.5
for at in 319 388; do
  f; xdotool key ctrl+r; sleep 1.5
  xdotool mousemove $at 167 click 1; sleep 0.3
  xdotool mousemove 976 545 click 1; sleep 1.5
done
# about 20 ms around 0.06 s
xdotool mousemove 760 400; sleep 0.3
for i in 1 2 3 4 5 6 7; do xdotool click 4; sleep 0.4; done
sleep 1
xdotool mousemove 420 300 click 1; sleep 0.5
xdotool mousemove 900 300 click 3; sleep 0.5
xdotool mousemove 700 250; sleep 1
import -window root $OUT/scope.png
kill $PID
