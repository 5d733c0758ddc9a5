// Reading the input and writing the output file safely.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "bi.hpp"

// Writes all of data[0..len) to fd, retrying short writes; 0 or an errno.
int write_fully(int fd, const void *data, size_t len);

// Reads at most cap bytes of the file at path into buf, with one read call
// where the file allows it, and returns how many were read. Dies with
// "PROGRAM: path: REASON" if the file cannot be opened or read. If the file
// holds more than cap bytes it warns that only the first cap are used; the
// rest is never read.
size_t read_input(const char *path, unsigned char *buf, size_t cap);

// An output file that replaces path only when complete, durably, and keeps
// what the user set up:
// - A symbolic link is written through: the file it leads to is replaced
//   (a dangling link creates its target); the link stays.
// - An existing file keeps its permission bits, and its owner and group
//   where the process may set them (the owner is kept only by root; a
//   group that cannot be kept is an error, as it could widen access).
// - The bytes go to an unnamed temporary file in the target's directory
//   (a named one, removed on failure or signal, where the file system has
//   none), which commit() fsyncs, links in over the target and follows with
//   an fsync of the directory. Other links to an old file keep its bytes.
// - An existing target that is not a regular file (a FIFO, a device) is
//   written into directly, never replaced; a directory is refused.
// Everything that can be checked is checked when the object is made, so a
// failure comes before the work. Any failure leaves path as it was, removes
// the temporary file and dies with "PROGRAM: path: REASON".
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
    // Puts the file in place; with replace false an existing file at the
    // target is an error (EEXIST) and stays as it was.
    void commit(bool replace = true);

private:
    void open_temporary();
    void keep_attributes(const struct stat &old);
    void link_in();
    void drain(const char *p, size_t len);
    void write_all(const char *p, size_t len);
    [[noreturn]] void fail(int err);

    std::string path_;    // as given, for messages
    std::string target_;  // symbolic links resolved
    std::string dir_;     // the target's directory
    std::string tmp_;     // the temporary file's name, once it has one
    bool direct_ = false; // writing into a FIFO or device
    int fd_ = -1;
    char *buf_;
    size_t cap_;
    size_t used_ = 0;
};

// Appends x in signed decimal, as "%Zd" prints it, followed by one space.
void put_number(out_file &out, const mpz_t x);

// Writes elements n - 1 down to 0, each as "%Zd ", and commits.
void write_crypt(out_file &out, const bi *cfile, int n);
void write_crypt(const char *path, const bi *cfile, int n);

// The file that path names once symbolic links are followed (the link's
// own target where it dangles).
std::string resolve_links(const std::string &path);
