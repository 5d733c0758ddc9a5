/* Preloaded into gen to record its calls of time, srand and rand, in
 * order, into the file named by TRACE_FILE; time() returns TRACE_TIME.
 * With RAND_SCRIPT set (numbers separated by spaces), rand() returns those
 * numbers instead, and then zeros. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static FILE *trace(void)
{
    static FILE *f;
    const char *path = getenv("TRACE_FILE");
    if (!f && path) {
        f = fopen(path, "w");
        setvbuf(f, NULL, _IOLBF, 0);
    }
    return f;
}

time_t time(time_t *t)
{
    const char *fixed = getenv("TRACE_TIME");
    time_t now = fixed ? (time_t)strtoll(fixed, NULL, 10) : 0;
    if (!fixed) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        now = ts.tv_sec;
    }
    if (trace())
        fprintf(trace(), "time\n");
    if (t)
        *t = now;
    return now;
}

void srand(unsigned seed)
{
    void (*real)(unsigned) = (void (*)(unsigned))dlsym(RTLD_NEXT, "srand");
    if (trace())
        fprintf(trace(), "srand %u\n", seed);
    real(seed);
}

int rand(void)
{
    static const char *script;
    static int started;
    int r;
    if (!started) {
        script = getenv("RAND_SCRIPT");
        started = 1;
    }
    if (script) {
        char *end;
        r = (int)strtol(script, &end, 10);
        script = end;
    } else {
        int (*real)(void) = (int (*)(void))dlsym(RTLD_NEXT, "rand");
        r = real();
    }
    if (trace())
        fprintf(trace(), "rand %d\n", r);
    return r;
}
