/* The least a process can do for vornset's job, `vornset 7.05`: print the two report
 * lines, read VornSet.ini beside the executable, open and lock the port it names, give
 * the port its four line settings (each a read and a write of the terminal settings),
 * write the three commands, exit. No checks beyond what keeps it from writing to the
 * wrong place, no buffering, no search order: this is the yardstick, not a program to
 * use. Built statically with the same C library as vornset, so that both pay the same
 * process start-up. */
#define _GNU_SOURCE /* memrchr */
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static const char report[] = "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n";

/* Copies the rest of the line behind `key` into `value` when the line holds it. */
static void take_key(const char *line, size_t length, const char *key, char *value, size_t room) {
  const size_t key_length = strlen(key);
  for (size_t i = 0; i + key_length <= length; ++i) {
    if (memcmp(line + i, key, key_length) != 0) continue;
    size_t n = length - i - key_length;
    if (n >= room) n = room - 1;
    memcpy(value, line + i + key_length, n);
    value[n] = '\0';
    return;
  }
}

static speed_t speed_of(const char *baud_text) {
  unsigned long rate = 0;
  for (const char *c = baud_text; *c != '\0'; ++c) {
    if (*c >= '0' && *c <= '9') rate = rate * 10 + (unsigned long)(*c - '0');
  }
  switch (rate) {
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
  }
}

/* One round trip: read the settings, change them, write them back. */
static int set_line(int fd, speed_t speed, tcflag_t clear, tcflag_t set, tcflag_t clear_input) {
  struct termios settings;
  if (tcgetattr(fd, &settings) != 0) return -1;
  if (speed != 0) {
    cfsetospeed(&settings, speed);
    cfsetispeed(&settings, speed);
  }
  settings.c_cflag = (settings.c_cflag & ~clear) | set;
  settings.c_iflag &= ~clear_input;
  return tcsetattr(fd, TCSANOW, &settings);
}

int main(void) {
  if (write(STDOUT_FILENO, report, sizeof report - 1) < 0) { /* best effort, as vornset */ }

  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - sizeof "VornSet.ini");
  if (length <= 0) return 1;
  char *slash = memrchr(path, '/', (size_t)length);
  if (slash == NULL) return 1;
  memcpy(slash + 1, "VornSet.ini", sizeof "VornSet.ini");

  char text[512];
  const int settings_fd = open(path, O_RDONLY | O_CLOEXEC);
  if (settings_fd < 0) return 1;
  const ssize_t size = read(settings_fd, text, sizeof text);
  close(settings_fd);
  if (size <= 0) return 1;

  char port[256] = "";
  char baud[64] = "9600";
  for (size_t start = 0; start < (size_t)size;) {
    size_t end = start;
    while (end < (size_t)size && text[end] != '\r' && text[end] != '\n') ++end;
    take_key(text + start, end - start, "COM", port, sizeof port);
    take_key(text + start, end - start, "BAUD", baud, sizeof baud);
    start = end + 1;
  }
  if (port[0] != '/') return 1;

  const int fd = open(port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) return 1;
  if (set_line(fd, speed_of(baud), 0, 0, 0) != 0) return 1;
  if (set_line(fd, 0, 0, CSTOPB, 0) != 0) return 1;
  if (set_line(fd, 0, CSIZE | CSTOPB | PARENB, CS8, INPCK) != 0) return 1;
  if (set_line(fd, 0, 0, 0, INPCK) != 0) return 1;

  static const char *const commands[] = {"LP1;", "TT0;", "FA00007050000;"};
  for (int i = 0; i < 3; ++i) {
    if (write(fd, commands[i], strlen(commands[i])) != (ssize_t)strlen(commands[i])) return 1;
  }
  return 0;
}
