/* Prints a terminal's settings as the kernel holds them (termios2, so a rate set with
 * BOTHER shows as the number it is) and its modem lines, one line:
 *   ispeed=19200 ospeed=19200 iflag=0x... oflag=0x... cflag=0x... lflag=0x... cts=1
 * usage: termios_probe DEVICE */
#include <asm/termbits.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: termios_probe DEVICE\n", stderr);
    return 2;
  }
  /* Non-blocking, so that a line without carrier does not hold the open. */
  const int fd = open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd == -1) {
    perror(argv[1]);
    return 1;
  }
  struct termios2 settings;
  if (ioctl(fd, TCGETS2, &settings) == -1) {
    perror("TCGETS2");
    return 1;
  }
  int lines = 0;
  const int have_lines = ioctl(fd, TIOCMGET, &lines) == 0;
  printf("ispeed=%u ospeed=%u iflag=0x%x oflag=0x%x cflag=0x%x lflag=0x%x cts=%d\n",
         settings.c_ispeed, settings.c_ospeed, settings.c_iflag, settings.c_oflag,
         settings.c_cflag, settings.c_lflag, have_lines ? (lines & TIOCM_CTS) != 0 : -1);
  close(fd);
  return 0;
}
