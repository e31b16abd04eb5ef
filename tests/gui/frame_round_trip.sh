#!/bin/sh
# Runs the program under a window manager on a display of its own: opens it
# with a stored position, moves and resizes its frame, closes it, opens it
# again from the file it wrote. Prints "frame X Y" for each opening and the
# file's Main lines. Usage: frame_round_trip.sh KORVANE X-CLOSE-WINDOW FOLDER
set -u
korvane=$1 close=$2 dir=$3
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
frame() {
  f=$(xwininfo -id "$1" -tree | awk '/Parent window id/ {print $4}')
  xwininfo -id "$f" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print "frame", x, y}'
}
open_window() {
  "$korvane" --settings "$dir/Korvane.inf" >>"$dir/out.txt" 2>&1 &
  pid=$!
  id=""
  for i in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name '^Korvane!$' 2>/dev/null | head -n1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  sleep 0.5
}
open_window
frame "$id"
xdotool windowmove "$id" 300 250
xdotool windowsize "$id" 640 300
sleep 0.5
frame "$id"
"$close" "$id"
wait "$pid"
open_window
frame "$id"
xdotool getwindowgeometry "$id" | awk '/Geometry/ {print "client", $2}'
"$close" "$id"
wait "$pid"
grep -a '^Main' "$dir/Korvane.inf" | tr -d '\r'
kill "$wm"
