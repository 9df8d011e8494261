#!/bin/bash
# usage: run_in_pane COLUMNS COMMAND
# Runs COMMAND (a shell line, in /tmp/vs) in a new tmux pane COLUMNS wide and prints:
#   exit=<code> ms=<wall time> queued=<bytes still in /dev/ttyS1's output queue at the end>,
#   then the pane as shown with what scrolled off its top, after a line "screen:".
# /tmp/pane.lines keeps /dev/ttyS1's line of the driver's table as the program left it.
# The pane writes "exit=<code>" under what the program showed, so a last empty row
# stays visible; it lives until the screen is read.
columns=$1 command=$2
rm -f /tmp/pane.rc
cat >/tmp/pane.sh <<PANE
cd /tmp/vs
started=\$(date +%s%N)
$command
code=\$?
ms=\$(( (\$(date +%s%N) - started) / 1000000 ))
# The driver's table shows the modem lines without an open, which would raise them.
sed -n 's/^1: //p' /proc/tty/driver/serial >/tmp/pane.lines
echo "\$code \$ms \$(/payload/watch_queue /dev/ttyS1)" >/tmp/pane.rc.new
echo "exit=\$code"
mv /tmp/pane.rc.new /tmp/pane.rc
tmux wait-for -S pane-done
sleep 600
PANE
tmux new-session -d -s run -x "$columns" -y 12 'bash /tmp/pane.sh'
# A signal that comes before the wait starts is kept by tmux for it.
timeout 120 tmux wait-for pane-done
screen=$(tmux capture-pane -p -S - -t run)
tmux kill-session -t run
if [ ! -f /tmp/pane.rc ]; then echo "exit=none ms=120000 queued=none"; else
  read -r code ms queued </tmp/pane.rc
  echo "exit=$code ms=$ms queued=$queued"
fi
echo "screen:"
printf '%s\n' "$screen"
