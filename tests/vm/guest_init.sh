#!/bin/busybox sh
# The guest's first process: loads the drivers, then runs what the host sends over the
# control port (a virtio serial port, so that no UART under test carries it; on a machine
# without virtio, the UART that vornset.control= names). Each request is one line, a shell
# script in base64; each answer one line: "done RC BASE64-OF-OUTPUT".
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mkdir -p /dev/pts
mount -t devpts devpts /dev/pts

while read -r module; do
  insmod "/lib/modules/$module.ko" || echo "insmod $module failed" > /dev/kmsg
done < /lib/modules/order
# From here on, what goes wrong in the guest lands in the host's console log.
[ -c /dev/hvc0 ] && exec > /dev/hvc0 2>&1

control=""
for word in $(cat /proc/cmdline); do
  case "$word" in vornset.control=*) control=/dev/${word#*=} ;; esac
done
for _ in $(seq 200); do
  for port in /sys/class/virtio-ports/*; do
    [ "$(cat "$port/name" 2>/dev/null)" = control ] && control=/dev/${port##*/}
  done
  [ -n "$control" ] && [ -c "$control" ] && break
  sleep 0.05
done
[ -n "$control" ] || { echo "no control port" > /dev/kmsg; echo o > /proc/sysrq-trigger; }

exec 3<>"$control"
# A UART: bytes as they come, no echo (set while open: a tty may reset at its last close).
[ -t 3 ] && stty raw -echo <&3
echo "ready" >&3
# The host ends the session by closing its end: the read fails and the guest powers off.
while read -r request <&3; do
  echo "$request" | base64 -d > /tmp/request.sh
  sh /tmp/request.sh > /tmp/answer 2>&1 < /dev/null
  rc=$?
  echo "done $rc $(base64 -w 0 /tmp/answer)" >&3
done
echo o > /proc/sysrq-trigger
