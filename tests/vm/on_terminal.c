/* Runs a program with a pseudo-terminal as its standard input, output and error, as a
 * user at a console would, copies what it writes there to our standard output and exits
 * with its exit status (128 + N when signal N ended it).
 * usage: on_terminal PROGRAM [ARGUMENT]... */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: on_terminal PROGRAM [ARGUMENT]...\n", stderr);
    return 2;
  }
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master == -1 || grantpt(master) == -1 || unlockpt(master) == -1) {
    perror("posix_openpt");
    return 2;
  }
  const char* terminal = ptsname(master);
  if (terminal == NULL) {
    perror("ptsname");
    return 2;
  }
  const pid_t child = fork();
  if (child == -1) {
    perror("fork");
    return 2;
  }
  if (child == 0) {
    close(master);
    setsid();
    const int fd = open(terminal, O_RDWR);
    if (fd == -1) _exit(2);
    ioctl(fd, TIOCSCTTY, 0);
    /* Wide enough that no line of the program wraps. */
    const struct winsize size = {25, 200, 0, 0};
    ioctl(fd, TIOCSWINSZ, &size);
    dup2(fd, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd > 2) close(fd);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) {
      if (fwrite(buffer, 1, (size_t)got, stdout) != (size_t)got) break;
      continue;
    }
    /* EIO: every process that had the terminal has closed it. */
    if (got == -1 && errno == EINTR) continue;
    break;
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
  }
  fflush(stdout);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
