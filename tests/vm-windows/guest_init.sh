#!/bin/sh
# PID 1 of the test guest: mounts what wine and tmux need, then hands over to the
# agent on the run's payload disk (/dev/vdb). No service manager: the boot stays short.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mountpoint -q /dev/pts || mount -t devpts devpts /dev/pts
mountpoint -q /dev/shm || mount -t tmpfs tmpfs /dev/shm
mountpoint -q /run || mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
hostname vornset-guest
modprobe virtio_console 2>/dev/null
mkdir -p /payload
if mount -o ro /dev/vdb /payload && [ -x /payload/agent.sh ]; then
  /payload/agent.sh
else
  echo "guest: no payload disk with agent.sh" >/dev/hvc0
fi
sync
echo o >/proc/sysrq-trigger
sleep 60
