#!/bin/sh
# What a user would script instead of `vornset 7.05`: the port and rate written into the
# script, the line set with stty, the commands sent with printf. Takes the device path.
device=$1
printf 'HF Mode,   LP Filter in    PWR out\nFrequency   7.05 MHz\n'
stty -F "$device" 19200 cs8 -cstopb -parenb -inpck && printf 'LP1;TT0;FA00007050000;' >"$device"
