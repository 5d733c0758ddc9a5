#include "files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fail.hpp"

size_t read_input(const char *path, unsigned char *buf, size_t cap)
{
    FILE *f = fopen(path, "rb");
    if (f == nullptr)
        die_errno(path, errno);
    size_t got = fread(buf, 1, cap, f);
    if (ferror(f))
        die_errno(path, errno);
    if (got == cap && getc(f) != EOF) {
        char msg[64];
        snprintf(msg, sizeof msg, "only the first %zu bytes are encoded", cap);
        warn(path, msg);
    }
    if (ferror(f))
        die_errno(path, errno);
    fclose(f);
    return got;
}

out_file::out_file(const char *path, size_t bufsize) : path_(path), cap_(bufsize)
{
    buf_ = static_cast<char *>(malloc(cap_));
    if (buf_ == nullptr)
        die_oom();
    size_t slash = path_.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    tmp_ = dir + "." + base + ".XXXXXX";
    fd_ = mkstemp(&tmp_[0]);
    if (fd_ < 0)
        die_errno(path_.c_str(), errno);
    set_pending_output(tmp_.c_str());
    // mkstemp creates the file 0600; give it the mode a plain create would.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd_, 0666 & ~mask) != 0)
        fail(errno);
}

out_file::~out_file()
{
    if (fd_ >= 0) {
        close(fd_);
        unlink(tmp_.c_str());
        set_pending_output(nullptr);
    }
    free(buf_);
}

void out_file::fail(int err)
{
    // die() removes the temporary file.
    die_errno(path_.c_str(), err);
}

int write_fully(int fd, const void *data, size_t len)
{
    auto *p = static_cast<const char *>(data);
    while (len > 0) {
        ssize_t w = write(fd, p, len);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += w;
        len -= static_cast<size_t>(w);
    }
    return 0;
}

void out_file::write_all(const char *p, size_t len)
{
    if (int err = write_fully(fd_, p, len))
        fail(err);
}

void out_file::drain(const char *p, size_t len)
{
    flush();
    if (len >= cap_)
        write_all(p, len);
    else {
        memcpy(buf_, p, len);
        used_ = len;
    }
}

void out_file::flush()
{
    write_all(buf_, used_);
    used_ = 0;
}

void out_file::commit(bool replace)
{
    flush();
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        fail(errno);
    if (renameat2(AT_FDCWD, tmp_.c_str(), AT_FDCWD, path_.c_str(), replace ? 0 : RENAME_NOREPLACE) != 0)
        fail(errno);
    set_pending_output(nullptr);
}

void put_number(out_file &out, const mpz_t x)
{
    // sizeinbase may exceed the digit count by one; add room for the sign,
    // the terminating NUL and the space.
    size_t room = mpz_sizeinbase(x, 10) + 3;
    if (room > out.capacity()) {
        char *s = mpz_get_str(nullptr, 10, x);
        out.put(s, strlen(s));
        out.put(' ');
        void (*gmp_free)(void *, size_t);
        mp_get_memory_functions(nullptr, nullptr, &gmp_free);
        gmp_free(s, strlen(s) + 1);
        return;
    }
    char *p = out.reserve(room);
    mpz_get_str(p, 10, x);
    size_t len = strlen(p);
    p[len] = ' ';
    out.advance(len + 1);
}

void write_crypt(const char *path, const bi *cfile, int n)
{
    out_file out(path);
    for (int j = 0; j < n; ++j)
        put_number(out, cfile[n - 1 - j].z);
    out.commit();
}
