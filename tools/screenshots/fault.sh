#!/bin/bash
# Takes docs/fault.png: T1 shorted from 0.05 s to 0.08 s, ia, ib and ic with the fault's marks.
#   build/cli/kalvor-cli params --set 'failures.FailT=[1,0,0,0,0,0]' --set failures.Onset=0.05 \
#       --set failures.Clear=0.08 --out fault.kalvor
#   xvfb-run -a -s "-screen 0 1280x800x24" tools/screenshots/fault.sh build/app/kalvor docs fault.kalvor
# Needs xvfb, xdotool and imagemagick. Clicks at fixed positions of the 1280 x 800 window.
K=$1; OUT=$2; PARAMS=$3
$K $PARAMS &
PID=$!
sleep 4
WIN=$(xdotool search --sync --name "fault" | head -1)
xdotool windowsize $WIN 1280 800; sleep 1
f() { xdotool windowfocus $WIN; sleep 0.3; }
f; xdotool key F5; sleep 1.5
xdotool key Return; sleep 8
xdotool key Return; sleep 1.5
for at in 319 388; do
  f; xdotool key ctrl+r; sleep 1.5
  xdotool mousemove $at 167 click 1; sleep 0.3
  xdotool mousemove 976 545 click 1; sleep 1.5
done
xdotool mousemove 700 790; sleep 1
import -window root $OUT/fault.png
kill $PID
