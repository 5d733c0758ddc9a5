// Reading a crypt strictly: signed decimal integers as "%Zd" writes them
// (no "+", no leading zeros, no "-0"), each followed by exactly one space,
// and nothing else but one newline ("\n" or "\r\n") at the very end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "gen/gen.hpp"

namespace gen {

// Why reading stopped: a failed read (err) or a byte that does not belong
// (offset, from 0, and what was expected there).
struct read_failure {
    status kind = status::ok;
    int err = 0;
    uint64_t offset = 0;
    std::string what;
    bool too_long = false;  // a number longer than allowed, well formed so far

    explicit operator bool() const { return kind != status::ok; }
    static read_failure malformed(uint64_t offset, std::string what, bool too_long = false)
    {
        return {status::malformed, 0, offset, std::move(what), too_long};
    }
};

// Whether p[0..len) is one integer as "%Zd" writes it (with partial, the
// start of one); off is the offset of p[0]. Fills why if not.
bool check_number(const char *p, size_t len, uint64_t off, read_failure &why,
                  bool partial = false);

// Splits a crypt into its space-terminated tokens, streaming from a
// descriptor or from memory. Memory stays bounded: a token longer than
// max_len, or one whose first bytes cannot start a number, is rejected as
// soon as it is seen.
class token_reader {
public:
    // bufsize 0: up to 4 MiB, less for a smaller regular file.
    token_reader(int fd, size_t max_len, size_t bufsize = 0);
    token_reader(std::string_view text, size_t max_len);

    // The next token, without its space, in p[0..len), valid until the next
    // call; false at the end of the crypt (a final newline after the last
    // space ends it too) or on a failure. A crypt that ends inside a token
    // fails (after the token's own bytes are checked).
    bool next(const char *&p, size_t &len);

    // Offset of the token returned last.
    uint64_t offset() const { return tok_off_; }
    const read_failure &failure() const { return failure_; }

private:
    bool fill();
    bool fail(read_failure f);

    int fd_ = -1;
    size_t max_len_;
    std::unique_ptr<char[]> own_;  // reading from fd: uninitialised, only what is read is touched
    const char *buf_;
    size_t size_;
    size_t pos_ = 0, end_ = 0;
    uint64_t base_ = 0;  // offset of buf_[0]
    uint64_t tok_off_ = 0;
    bool eof_ = false;
    read_failure failure_;
};

} // namespace gen
