// Counts the GMP blocks that are allocated and not yet freed, to prove
// that replaced values and temporaries are released.
#pragma once

#include <cstdlib>
#include <gmp.h>

namespace gmp_count {
inline long live;
inline void *alloc(size_t n) { ++live; return malloc(n); }
inline void *resize(void *p, size_t, size_t n) { return realloc(p, n); }
inline void release(void *p, size_t) { --live; free(p); }

// Installs the counting functions for the lifetime of the object.
struct scope {
    void *(*a)(size_t);
    void *(*r)(void *, size_t, size_t);
    void (*f)(void *, size_t);
    scope()
    {
        mp_get_memory_functions(&a, &r, &f);
        mp_set_memory_functions(alloc, resize, release);
        live = 0;
    }
    ~scope() { mp_set_memory_functions(a, r, f); }
};
} // namespace gmp_count
