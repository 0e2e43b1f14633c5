// The little of an operating system that newlib's formatter asks for.
//
// The firmware has no heap: vsnprintf and vsscanf into fixed buffers never
// allocate, but newlib links its allocator in with them. Every request for
// memory is refused, so a path that did allocate fails instead of growing
// into the frame buffer. Likewise there are no files: the string streams
// never reach the file calls that newlib's stdio core links in, and each of
// them fails if it ever were reached.
#if defined(__arm__) && !defined(FIRMWARE_HOST_BUILD)

#include <errno.h>
#include <stddef.h>
#include <sys/stat.h>

// newlib's _sbrk_r reads the plain global errno, not the caller's reentrancy
// record, right after the call.
#undef errno
extern "C" int errno;

extern "C" {

void *_sbrk(ptrdiff_t increment)
{
    (void)increment;
    errno = ENOMEM;
    return reinterpret_cast<void *>(-1);
}

int _read(int, char *, int)
{
    errno = EBADF;
    return -1;
}

int _write(int, const char *, int)
{
    errno = EBADF;
    return -1;
}

int _close(int)
{
    errno = EBADF;
    return -1;
}

int _lseek(int, int, int)
{
    errno = EBADF;
    return -1;
}

int _fstat(int, struct stat *)
{
    errno = EBADF;
    return -1;
}

int _isatty(int)
{
    errno = EBADF;
    return 0;
}

}

#endif
