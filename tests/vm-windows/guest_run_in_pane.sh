#!/bin/bash
# usage: run_in_pane COLUMNS COMMAND
# Runs COMMAND (a shell line, in /tmp/vs) in a new tmux pane COLUMNS wide and prints:
#   exit=<code> ms=<wall time>, then the pane as shown, after a line "screen:".
# The pane writes "exit=<code>" under what the program showed, so a last empty row
# stays visible; it lives until the screen is read.
columns=$1 command=$2
rm -f /tmp/pane.rc
cat >/tmp/pane.sh <<PANE
cd /tmp/vs
started=\$(date +%s%N)
$command
code=\$?
echo "\$code \$(( (\$(date +%s%N) - started) / 1000000 ))" >/tmp/pane.rc.new
echo "exit=\$code"
mv /tmp/pane.rc.new /tmp/pane.rc
sleep 600
PANE
tmux new-session -d -s run -x "$columns" -y 12 'bash /tmp/pane.sh'
for _ in $(seq 1 900); do
  [ -f /tmp/pane.rc ] && break
  sleep 0.1
done
screen=$(tmux capture-pane -p -t run)
tmux kill-session -t run
if [ ! -f /tmp/pane.rc ]; then echo "exit=none ms=90000"; else
  read -r code ms </tmp/pane.rc
  echo "exit=$code ms=$ms"
fi
echo "screen:"
printf '%s\n' "$screen"
