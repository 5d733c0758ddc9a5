#include "writer.hpp"

namespace gen {

text_sink::text_sink(const write_fn &write, size_t bufsize)
    : write_(write), buf_(new char[bufsize]), cap_(bufsize)
{
}

void text_sink::send(const char *p, size_t len)
{
    if (err_ == 0 && len > 0)
        err_ = write_(p, len);
}

int text_sink::flush()
{
    send(buf_.get(), used_);
    used_ = 0;
    return err_;
}

void text_sink::drain(const char *p, size_t len)
{
    flush();
    if (len >= cap_)
        send(p, len);
    else {
        std::memcpy(buf_.get(), p, len);
        used_ = len;
    }
}

void put_number(text_sink &out, const mpz_t x)
{
    // sizeinbase may exceed the digit count by one; add room for the sign,
    // the terminating NUL and the space.
    size_t room = mpz_sizeinbase(x, 10) + 3;
    if (room > out.capacity()) {
        std::string s(room, '\0');
        mpz_get_str(&s[0], 10, x);
        s.resize(strlen(s.c_str()));
        s += ' ';
        out.put(s.data(), s.size());
        return;
    }
    char *p = out.reserve(room);
    mpz_get_str(p, 10, x);
    size_t len = strlen(p);
    p[len] = ' ';
    out.advance(len + 1);
}

std::string scaled_text(long c, int k, mpz_t v)
{
    mpz_set_si(v, c);
    mpz_mul_2exp(v, v, static_cast<mp_bitcnt_t>(k));
    std::string t(mpz_sizeinbase(v, 10) + 2, '\0');
    mpz_get_str(&t[0], 10, v);
    t.resize(t.find('\0'));
    return t;
}

} // namespace gen
