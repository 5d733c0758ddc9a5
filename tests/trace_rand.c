/* Preloaded into gen to record its calls of time, srand and rand, in
 * order, into the file named by TRACE_FILE. time() returns TRACE_TIME. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static FILE *trace(void)
{
    static FILE *f;
    if (!f) {
        f = fopen(getenv("TRACE_FILE"), "w");
        setvbuf(f, NULL, _IOLBF, 0);
    }
    return f;
}

time_t time(time_t *t)
{
    time_t now = (time_t)strtoll(getenv("TRACE_TIME"), NULL, 10);
    fprintf(trace(), "time\n");
    if (t)
        *t = now;
    return now;
}

void srand(unsigned seed)
{
    void (*real)(unsigned) = (void (*)(unsigned))dlsym(RTLD_NEXT, "srand");
    fprintf(trace(), "srand %u\n", seed);
    real(seed);
}

int rand(void)
{
    int (*real)(void) = (int (*)(void))dlsym(RTLD_NEXT, "rand");
    int r = real();
    fprintf(trace(), "rand %d\n", r);
    return r;
}
