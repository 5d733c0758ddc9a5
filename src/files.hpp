// Reading the input and writing the output file safely.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "bi.hpp"

// Writes all of data[0..len) to fd, retrying short writes; 0 or an errno.
int write_fully(int fd, const void *data, size_t len);

// Reads at most cap bytes of the file at path into buf, with one read call
// where the file allows it, and returns how many were read. Dies with
// "PROGRAM: path: REASON" if the file cannot be opened or read. If the file
// holds more than cap bytes it warns that only the first cap are used; the
// rest is never read.
size_t read_input(const char *path, unsigned char *buf, size_t cap);

// An output file that replaces path only when complete: bytes go to a
// temporary file in the same directory, which commit() renames over path
// after a successful flush and close. Any failure removes the temporary
// file, leaves path untouched and dies with "PROGRAM: path: REASON".
class out_file {
public:
    explicit out_file(const char *path, size_t bufsize = 1 << 20);
    ~out_file();
    out_file(const out_file &) = delete;
    out_file &operator=(const out_file &) = delete;

    void put(const char *p, size_t len)
    {
        if (len > cap_ - used_)
            drain(p, len);
        else {
            std::memcpy(buf_ + used_, p, len);
            used_ += len;
        }
    }
    void put(char c)
    {
        if (used_ == cap_)
            flush();
        buf_[used_++] = c;
    }
    // Room for at least len more bytes at the end of the buffer, to be
    // filled directly and then announced with advance(). len must not
    // exceed the buffer size.
    char *reserve(size_t len)
    {
        if (len > cap_ - used_)
            flush();
        return buf_ + used_;
    }
    void advance(size_t len) { used_ += len; }
    size_t capacity() const { return cap_; }

    void flush();
    // Renames the file into place; with replace false an existing file at
    // path is an error (EEXIST) and stays as it was.
    void commit(bool replace = true);

private:
    void drain(const char *p, size_t len);
    void write_all(const char *p, size_t len);
    [[noreturn]] void fail(int err);

    std::string path_;
    std::string tmp_;
    int fd_ = -1;
    char *buf_;
    size_t cap_;
    size_t used_ = 0;
};

// Appends x in signed decimal, as "%Zd" prints it, followed by one space.
void put_number(out_file &out, const mpz_t x);

// Writes elements n - 1 down to 0 to path, each as "%Zd ", atomically.
void write_crypt(const char *path, const bi *cfile, int n);
