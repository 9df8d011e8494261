#!/bin/bash
# First boot of a new image: makes the 32-bit wine prefix once, so that every later boot
# finds it ready, and maps COM2 to the second UART. Output goes to the control channel.
exec >/dev/hvc0 2>&1
export HOME=/root WINEPREFIX=/root/.wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$(date +%s)
wineboot --init </dev/null
wineserver -w
# COM2 is the second UART by the prefix's own setting, not by wine's numbering of the
# ports it finds (which moves when a port is added or taken away). Wine maps COM1 to
# /dev/ttyS0 again at every start: that is the guest's console, used by no scenario.
wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d /dev/ttyS1 /f
wineserver -w
devices="$WINEPREFIX/dosdevices"
ln -sfn /dev/ttyS1 "$devices/com2"
echo "dosdevices:"; ls -l "$devices"
echo "prefix made in $(( $(date +%s) - started )) s"
grep -q '"COM2"="/dev/ttyS1"' "$WINEPREFIX/system.reg" && echo PREFIX-READY
