/* Preloaded into gen or ungen to record, in order, their calls of fsync,
 * linkat and renameat2 into the file named by TRACE_FILE. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static void note(const char *what)
{
    static FILE *f;
    if (!f) {
        f = fopen(getenv("TRACE_FILE"), "w");
        setvbuf(f, NULL, _IOLBF, 0);
    }
    fprintf(f, "%s\n", what);
}

int fsync(int fd)
{
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    note("fsync");
    return real(fd);
}

int linkat(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, int flags)
{
    int (*real)(int, const char *, int, const char *, int) =
        (int (*)(int, const char *, int, const char *, int))dlsym(RTLD_NEXT, "linkat");
    int r = real(olddirfd, oldpath, newdirfd, newpath, flags);
    if (r == 0)
        note("link");
    return r;
}

int renameat2(int olddirfd, const char *oldpath, int newdirfd, const char *newpath,
              unsigned flags)
{
    int (*real)(int, const char *, int, const char *, unsigned) =
        (int (*)(int, const char *, int, const char *, unsigned))dlsym(RTLD_NEXT, "renameat2");
    note("rename");
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}
