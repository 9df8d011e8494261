#!/bin/busybox sh
# The instrument's side of the guest's USB ports. One gadget on dummy_hcd's controller,
# made in configfs, with two functions: CDC-ACM (the host side: cdc-acm, /dev/ttyACM0) and
# the generic serial function that g_serial offers with use_acm=0, at its 0525:a4a6 (the
# host side: the usb-serial core's generic driver, /dev/ttyUSB1). Their gadget sides are
# /dev/ttyGS0 and /dev/ttyGS1; a relay copies what each receives to the host's instrument
# over the virtio port of the same name.
#   usb_gadget plug     connect the gadget (made the first time); waits for both ports
#   usb_gadget unplug   disconnect it; waits until both ports are gone
#   usb_gadget relay    start the relays (a gadget port takes bytes only while it is open)
#   usb_gadget quiet    stop them
# A gadget port that has not been opened since the gadget was connected takes nothing:
# the host's transfers wait, as they wait on a device that does not read.
gadget=/sys/kernel/config/usb_gadget/vornset
host_ports="/dev/ttyACM0 /dev/ttyUSB1"

wait_for() {  # wait_for present|absent
  for _ in $(seq 200); do
    all=yes
    for port in $host_ports; do
      if [ "$1" = present ]; then [ -c "$port" ] || all=no; else [ -e "$port" ] && all=no; fi
    done
    [ $all = yes ] && return 0
    sleep 0.05
  done
  echo "usb_gadget: $host_ports not $1" >&2
  return 1
}

case "$1" in
plug)
  if [ ! -d $gadget ]; then
    [ -d /sys/kernel/config/usb_gadget ] || mount -t configfs configfs /sys/kernel/config || exit 1
    mkdir $gadget && cd $gadget || exit 1
    echo 0x0525 > idVendor
    echo 0xa4a6 > idProduct
    mkdir functions/acm.0 functions/gser.0 configs/c.1
    ln -s $gadget/functions/acm.0 configs/c.1/
    ln -s $gadget/functions/gser.0 configs/c.1/
    # The generic driver takes only the vendor-specific interface (class ff): the
    # CDC-ACM interfaces stay cdc-acm's.
    echo "0525 a4a6 ff" > /sys/bus/usb-serial/drivers/generic/new_id
  fi
  ls /sys/class/udc | head -n 1 > $gadget/UDC || exit 1
  wait_for present || exit 1
  for port in $host_ports; do chgrp dialout $port && chmod 660 $port || exit 1; done
  ;;
unplug)
  echo "" > $gadget/UDC
  wait_for absent
  ;;
relay)
  [ -s /tmp/relays ] && exit 0
  for name in ttyGS0 ttyGS1; do
    for port in /sys/class/virtio-ports/*; do
      [ "$(cat "$port/name" 2> /dev/null)" = $name ] || continue
      { stty raw -echo && exec cat; } < /dev/$name > /dev/${port##*/} 2> /dev/null &
      echo $! >> /tmp/relays
    done
  done
  ;;
quiet)
  for pid in $(cat /tmp/relays 2> /dev/null); do
    kill $pid
    while [ -d /proc/$pid ] && ! grep -q '^State:.*Z' /proc/$pid/status; do sleep 0.02; done
  done
  rm -f /tmp/relays
  ;;
*)
  echo "usage: usb_gadget plug|unplug|relay|quiet" >&2
  exit 2
  ;;
esac
