/* Preloaded into gen to make every allocation of FAIL_MALLOC_AT bytes or
 * more fail, as on an exhausted heap. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdlib.h>

extern void *__libc_malloc(size_t);
extern void *__libc_realloc(void *, size_t);

static size_t limit(void)
{
    const char *s = getenv("FAIL_MALLOC_AT");
    return s ? strtoull(s, NULL, 10) : (size_t)-1;
}

void *malloc(size_t n)
{
    if (n >= limit()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(n);
}

void *realloc(void *p, size_t n)
{
    if (n >= limit()) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_realloc(p, n);
}
