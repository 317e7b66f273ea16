/* The scenarios' fast clock for 32-bit Wine processes: a Linux library preloaded into
 * them before libfaketime. It mends two things that kept a 32-bit service on the true
 * clock, or stopped it outright, in a session whose processes are faked:
 *
 * 1. Wine's 32-bit libraries are built with a 64-bit time_t: ntdll reads the clock with
 *    glibc's __clock_gettime64 and sleeps with __select64, which libfaketime does not
 *    replace. Here they hand each call to the 32-bit one, which resolves to
 *    libfaketime's, and widen the result (32-bit seconds last until 2038).
 * 2. libfaketime shares its start time with child processes through a semaphore and a
 *    memory block named in FAKETIME_SHARED. A 32-bit process started by a 64-bit one
 *    (a service by services.exe) reads both in the other's layout: it waited forever on
 *    the semaphore. Here it neither sees the inherited names nor creates shared objects
 *    of its own, so its fake clock starts when it does.
 *
 * Built with -nostdlib: it needs no 32-bit C library headers, only these declarations. */
#include <stdarg.h>

struct timespec32 { long tv_sec; long tv_nsec; };
struct timespec64 { long long tv_sec; long tv_nsec; long padding; };
struct timeval32 { long tv_sec; long tv_usec; };
struct timeval64 { long long tv_sec; long long tv_usec; };

int clock_gettime(int clock, struct timespec32* now);
int gettimeofday(struct timeval32* now, void* zone);
long time(long* now);
int select(int count, void* reads, void* writes, void* errors, struct timeval32* timeout);
void* dlsym(void* library, const char* name);
extern char** environ;

#define RTLD_NEXT ((void*)-1)
#define SEM_FAILED ((void*)0)
#define O_CREAT 0100

int __clock_gettime64(int clock, struct timespec64* now)
{
    struct timespec32 narrow;
    int rc = clock_gettime(clock, &narrow);
    if (rc == 0) {
        now->tv_sec = narrow.tv_sec;
        now->tv_nsec = narrow.tv_nsec;
        now->padding = 0;
    }
    return rc;
}

int __gettimeofday64(struct timeval64* now, void* zone)
{
    struct timeval32 narrow;
    int rc = gettimeofday(&narrow, zone);
    if (rc == 0 && now) {
        now->tv_sec = narrow.tv_sec;
        now->tv_usec = narrow.tv_usec;
    }
    return rc;
}

long long __time64(long long* now)
{
    long seconds = time(0);
    if (now)
        *now = seconds;
    return seconds;
}

/* select shortens the timeout by the time waited; libfaketime scales both ways. */
int __select64(int count, void* reads, void* writes, void* errors, struct timeval64* timeout)
{
    if (!timeout)
        return select(count, reads, writes, errors, 0);
    struct timeval32 narrow = { (long)timeout->tv_sec, (long)timeout->tv_usec };
    int rc = select(count, reads, writes, errors, &narrow);
    timeout->tv_sec = narrow.tv_sec;
    timeout->tv_usec = narrow.tv_usec;
    return rc;
}

/* The text after PREFIX in TEXT, or none when TEXT does not begin with it. */
static const char* after(const char* text, const char* prefix)
{
    while (*prefix)
        if (*text++ != *prefix++)
            return 0;
    return text;
}

char* getenv(const char* name)
{
    const char* rest = after(name, "FAKETIME_SHARED");
    if (rest && *rest == '\0')
        return 0;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* value = after(*entry, name);
        if (value && *value == '=')
            return (char*)value + 1;
    }
    return 0;
}

void* sem_open(const char* name, int flags, ...)
{
    if (after(name, "/faketime_sem_"))
        return SEM_FAILED;
    void* (*next)(const char*, int, ...) = (void* (*)(const char*, int, ...))dlsym(RTLD_NEXT, "sem_open");
    if (!(flags & O_CREAT))
        return next(name, flags);
    va_list rest;
    va_start(rest, flags);
    unsigned mode = va_arg(rest, unsigned);
    unsigned value = va_arg(rest, unsigned);
    va_end(rest);
    return next(name, flags, mode, value);
}
