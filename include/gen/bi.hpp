// The element type: one arbitrary-precision signed integer.
//
// `bi` is a plain record around a GMP integer: no constructor, no destructor,
// no copy operations of its own. Copying a `bi` copies the handle, so a copy
// shares its limbs with the source; nothing ever writes through a copy.
// Every arithmetic result is a fresh integer. Whoever replaces an element's
// value owns the old integer and releases it with release() once nothing
// refers to it any more.
#pragma once

#include <gmp.h>

struct bi {
    mpz_t z;

    // Initialises an uninitialised object to v.
    void set(long v) { mpz_init_set_si(z, v); }

    // Initialises an uninitialised slot to v, as set() does.
    bi operator=(int v)
    {
        set(v);
        return *this;
    }

    bi operator+(bi o) const
    {
        bi r;
        r.set(0);
        mpz_add(r.z, z, o.z);
        return r;
    }

    bi operator-(bi o) const
    {
        bi r;
        r.set(0);
        mpz_sub(r.z, z, o.z);
        return r;
    }

    // Two's-complement exclusive-or with v (infinite sign extension). The
    // previous integer of this object is released; the temporary too.
    bi operator^=(long v)
    {
        bi r, t;
        r.set(0);
        t.set(v);
        mpz_xor(r.z, z, t.z);
        mpz_clear(t.z);
        mpz_clear(z);
        *this = r;
        return r;
    }
};

// Frees the integer that x holds. x holds no integer afterwards.
inline void release(bi &x) { mpz_clear(x.z); }
