// Reading a crypt file strictly: signed decimal integers as "%Zd" writes
// them (no "+", no leading zeros, no "-0"), each followed by exactly one
// space, and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The file is not a crypt: what was wrong, and at which byte (from 0).
struct bad_crypt {
    uint64_t offset;
    std::string what;
    bool too_long = false;  // a number longer than allowed, otherwise well formed so far
};

// A read failed with this errno.
struct read_error {
    int err;
};

// Checks that p[0..len) is one integer as "%Zd" writes it; off is the
// file offset of p[0]. With partial, p[0..len) need only be the start of
// one. Throws bad_crypt.
void check_number(const char *p, size_t len, uint64_t off, bool partial = false);

// Splits a file into its space-terminated tokens, streaming. Memory stays
// bounded: a token longer than max_len, or one whose first bytes cannot
// start a number, is rejected as soon as it is seen.
class token_reader {
public:
    // bufsize 0: up to 4 MiB, less for a smaller regular file.
    explicit token_reader(int fd, size_t max_len, size_t bufsize = 0);

    // The next token, without its space, in p[0..len), valid until the next
    // call; false at the end of the file. A file that ends inside a token
    // throws bad_crypt (after checking the token's own bytes).
    bool next(const char *&p, size_t &len);

    // File offset of the token returned last.
    uint64_t offset() const { return tok_off_; }

private:
    bool fill();

    int fd_;
    size_t max_len_;
    std::unique_ptr<char[]> buf_;  // uninitialised: only what is read is touched
    size_t size_;
    size_t pos_ = 0, end_ = 0;
    uint64_t base_ = 0;  // file offset of buf_[0]
    uint64_t tok_off_ = 0;
    bool eof_ = false;
};
