#!/usr/bin/perl
# usage: watch_queue DEVICE SECONDS   says "HELD <bytes>" on the control channel as soon
#                                     as the output queue of DEVICE holds bytes: the driver
#                                     took a write that the held line does not let out
#        watch_queue DEVICE           prints the bytes in that queue now
use strict;
use warnings;
use Fcntl;

my ($device, $seconds) = @ARGV;
my $TIOCOUTQ = 0x5411;
sysopen(my $port, $device, O_RDONLY | O_NOCTTY | O_NONBLOCK) or die "$device: $!\n";

sub queued {
  my $count = pack("L", 0);
  ioctl($port, $TIOCOUTQ, $count) or die "TIOCOUTQ: $!\n";
  return unpack("L", $count);
}

if (!defined $seconds) {
  print queued(), "\n";
  exit 0;
}
open(my $channel, ">", "/dev/hvc0") or die "/dev/hvc0: $!\n";
for (my $waited = 0; $waited < $seconds; $waited += 0.01) {
  my $queued = queued();
  if ($queued > 0) {
    syswrite($channel, "HELD $queued\n");
    exit 0;
  }
  select(undef, undef, undef, 0.01);
}
