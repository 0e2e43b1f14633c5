/*
 * The little of an operating system that newlib's formatting functions ask
 * for, so that snprintf, sscanf and friends link into a program for the
 * board. There is no heap and no file: formatting into your own buffer never
 * needs either, and a path that would (printf to a FILE, malloc) fails
 * instead of writing over the memory above the program.
 *
 * Copy this file beside your program; the Makefile links it in.
 */
#include <errno.h>
#include <stddef.h>
#include <sys/stat.h>

#undef errno
extern int errno; /* newlib's _sbrk_r reads the plain global right after the call */

void *_sbrk(ptrdiff_t increment) {
  (void)increment;
  errno = ENOMEM;
  return (void *)-1;
}

int _read(int fd, char *buf, int n) { (void)fd; (void)buf; (void)n; errno = EBADF; return -1; }
int _write(int fd, const char *buf, int n) { (void)fd; (void)buf; (void)n; errno = EBADF; return -1; }
int _close(int fd) { (void)fd; errno = EBADF; return -1; }
int _lseek(int fd, int offset, int whence) { (void)fd; (void)offset; (void)whence; errno = EBADF; return -1; }
int _fstat(int fd, struct stat *st) { (void)fd; (void)st; errno = EBADF; return -1; }
int _isatty(int fd) { (void)fd; errno = EBADF; return 0; }
int _getpid(void) { return 1; }
int _kill(int pid, int sig) { (void)pid; (void)sig; errno = EINVAL; return -1; }
void _exit(int status) { (void)status; for (;;) { } }
