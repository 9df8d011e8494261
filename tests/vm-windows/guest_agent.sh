#!/bin/bash
# Guest side of the suite, started by the image's init from the payload disk. It keeps
# wine's services up with one idle Windows program, then runs the host's steps.
#
# Control channel (/dev/hvc0), one line each way per step:
#   host:  <bash script, base64>      guest: done <exit code> <output, base64>
#   host:  QUIT                       guest powers off
set -u
export HOME=/root WINEPREFIX=/root/.wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=screen LANG=C.UTF-8
channel=/dev/hvc0
# Set while open: hvc resets a console's settings at its last close.
exec 3<>"$channel"
stty raw -echo <&3
say() { printf '%s\n' "$*" >&3; }

# Everything Windows runs in the tmux server, which runs as root without the two
# capabilities that let root read any file: a file of mode 000 is unreadable to it.
# The window "idle" holds a wine console program that waits forever.
setpriv --bounding-set=-dac_override,-dac_read_search \
  tmux -f /dev/null new-session -d -s idle -x 80 -y 24 'sleep infinity | wine cmd'
say ready

while read -r script <&3 && [ "$script" != QUIT ]; do
  printf '%s' "$script" | base64 -d >/tmp/step.sh
  bash /tmp/step.sh >/tmp/step.out 2>&1 </dev/null
  say "done $? $(base64 -w0 /tmp/step.out)"
done
tmux kill-server 2>/dev/null
