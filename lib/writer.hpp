// Writing crypt text: signed decimals as "%Zd" prints them, each followed
// by one space, buffered and passed on through a write callback.
#pragma once

#include <cstddef>
#include <cstring>
#include <gmp.h>
#include <memory>
#include <string>
#include <vector>

#include "gen/gen.hpp"

namespace gen {

// A buffer in front of a write callback. The first error the callback
// returns sticks: later text is dropped and error() reports it.
class text_sink {
public:
    explicit text_sink(const write_fn &write, size_t bufsize = 4 << 20);

    void put(const char *p, size_t len)
    {
        if (len > cap_ - used_)
            drain(p, len);
        else {
            std::memcpy(buf_.get() + used_, p, len);
            used_ += len;
        }
    }
    void put(char c)
    {
        if (used_ == cap_)
            flush();
        buf_[used_++] = c;
    }
    // Room for at least len (at most capacity()) more bytes, to be filled
    // directly and then announced with advance().
    char *reserve(size_t len)
    {
        if (len > cap_ - used_)
            flush();
        return buf_.get() + used_;
    }
    void advance(size_t len) { used_ += len; }
    size_t capacity() const { return cap_; }

    // Passes on what is buffered; returns error().
    int flush();
    int error() const { return err_; }

private:
    void drain(const char *p, size_t len);
    void send(const char *p, size_t len);

    const write_fn &write_;
    std::unique_ptr<char[]> buf_;
    size_t cap_;
    size_t used_ = 0;
    int err_ = 0;
};

// Appends x and one space.
void put_number(text_sink &out, const mpz_t x);

// The decimal text of c * 2^k; v is scratch space.
std::string scaled_text(long c, int k, mpz_t v);

// The text and space of c * 2^shift for the small values c that the
// elements of an unflipped pair end as (c from -255 to 510), each made on
// first use.
class scaled_texts {
public:
    static constexpr int lo = -255, hi = 510;

    explicit scaled_texts(int shift) : shift_(shift), texts_(hi - lo + 1) { mpz_init(v_); }
    ~scaled_texts() { mpz_clear(v_); }
    scaled_texts(const scaled_texts &) = delete;
    scaled_texts &operator=(const scaled_texts &) = delete;

    const std::string &operator[](int c)
    {
        std::string &t = texts_[static_cast<size_t>(c - lo)];
        if (t.empty())
            t = scaled_text(c, shift_, v_) + ' ';
        return t;
    }

private:
    int shift_;
    std::vector<std::string> texts_;
    mpz_t v_;
};

} // namespace gen
