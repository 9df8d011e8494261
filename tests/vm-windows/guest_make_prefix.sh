#!/bin/bash
# First boot of a new image: makes the 32-bit wine prefix once, so that every later boot
# finds it ready, and maps COM2 to the second UART. Output goes to the control channel.
exec >/dev/hvc0 2>&1
export HOME=/root WINEPREFIX=/root/.wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$(date +%s)
wineboot --init </dev/null
wineserver -w
devices="$WINEPREFIX/dosdevices"
echo "dosdevices as wine made them:"; ls -l "$devices"
# Only COM2 is a port; COM1 (the guest's console UART) and every other number map to nothing.
rm -f "$devices"/com*
ln -s /dev/ttyS1 "$devices/com2"
echo "prefix made in $(( $(date +%s) - started )) s"
[ -f "$WINEPREFIX/system.reg" ] && echo PREFIX-READY
