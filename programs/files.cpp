#include "files.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process.hpp"

input read_input(const char *path, unsigned char *buf, size_t cap)
{
    input in;
    FILE *f = fopen(path, "rb");
    if (f == nullptr) {
        in.err = errno;
        return in;
    }
    in.size = fread(buf, 1, cap, f);
    if (!ferror(f) && in.size == cap && getc(f) != EOF)
        in.truncated = true;
    if (ferror(f))
        in.err = errno;
    fclose(f);
    return in;
}

namespace {

std::string dir_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string resolve_links(const std::string &path)
{
    std::string p = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t len = readlink(p.c_str(), &link[0], link.size());
        if (len < 0 || static_cast<size_t>(len) >= link.size())
            return p;  // changed under us: let the open report it
        link.resize(static_cast<size_t>(len));
        p = link[0] == '/' ? link : dir_of(p) + "/" + link;
    }
    return p;  // a loop: the open reports ELOOP
}

out_file::out_file(const char *path, out_options o)
    : target_(resolve_links(path)), dir_(dir_of(target_))
{
    struct stat old;
    bool exists = stat(target_.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        fail(errno);
        return;
    }
    if (exists && S_ISDIR(old.st_mode)) {
        fail(EISDIR);
        return;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        // Replacing a FIFO or a device would break whatever uses it: it is
        // written into, as a shell's redirection would, never replaced.
        direct_ = true;
        fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0)
            fail(errno);
        return;
    }
    struct stat self;
    if (!o.replace && lstat(path, &self) == 0) {
        fail(EEXIST);
        return;
    }
    if (exists && o.only_writable && faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
        fail(errno);
        return;
    }
    if (open_temporary() != 0 || (exists && keep_attributes(old) != 0))
        return;
    // Opened now, so that a directory we cannot sync is known before the
    // old file is replaced.
    dir_fd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0)
        dir_err_ = errno;
}

int out_file::open_temporary()
{
    mode_t mask = umask(0);
    umask(mask);
    // Unnamed where the file system allows: nothing is left behind, even by
    // SIGKILL.
    fd_ = open(dir_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666 & ~mask);
    if (fd_ >= 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fail(errno);
    tmp_ = dir_ + "/." + base_of(target_) + ".XXXXXX";
    fd_ = mkostemp(&tmp_[0], O_CLOEXEC);
    if (fd_ < 0) {
        tmp_.clear();
        return fail(errno);
    }
    set_pending_output(tmp_.c_str());
    // mkstemp creates the file 0600; give it the mode a plain create would.
    if (fchmod(fd_, 0666 & ~mask) != 0)
        return fail(errno);
    return 0;
}

int out_file::keep_attributes(const struct stat &old)
{
    struct stat now;
    if (fstat(fd_, &now) != 0)
        return fail(errno);
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        if (fchown(fd_, old.st_uid, old.st_gid) != 0) {
            if (errno != EPERM)
                return fail(errno);
            // Only root gives a file away; the group must stay, or the
            // permission bits below would apply to another group.
            if (now.st_gid != old.st_gid && fchown(fd_, static_cast<uid_t>(-1), old.st_gid) != 0)
                return fail(errno);
        }
    }
    // After the chown, which may clear set-id bits.
    if (fchmod(fd_, old.st_mode & 07777) != 0)
        return fail(errno);
    return 0;
}

out_file::~out_file()
{
    if (fd_ >= 0)
        close(fd_);
    if (dir_fd_ >= 0)
        close(dir_fd_);
    if (!tmp_.empty()) {
        unlink(tmp_.c_str());
        set_pending_output(nullptr);
    }
}

// Gives up: the temporary file goes, and the target stays as it was.
int out_file::fail(int err)
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!tmp_.empty()) {
        unlink(tmp_.c_str());
        set_pending_output(nullptr);
        tmp_.clear();
    }
    if (err_ == 0)
        err_ = err;
    return err;
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

int out_file::write(const char *p, size_t len)
{
    if (err_)
        return err_;
    if (int err = write_fully(fd_, p, len))
        return fail(err);
    return 0;
}

int out_file::commit(bool replace)
{
    if (err_)
        return err_;
    if (direct_) {
        int fd = fd_;
        fd_ = -1;
        return close(fd) != 0 ? fail(errno) : 0;
    }
    // The bytes are on disk before the name refers to them.
    if (fsync(fd_) != 0)
        return fail(errno);
    if (int err = link_in())
        return fail(err);
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        return fail(errno);
    if (renameat2(AT_FDCWD, tmp_.c_str(), AT_FDCWD, target_.c_str(),
                  replace ? 0 : RENAME_NOREPLACE) != 0)
        return fail(errno);
    set_pending_output(nullptr);
    tmp_.clear();
    // And the new name is on disk before we say so, where the directory
    // allows. The old file is gone now: this is no failure any more.
    if (dir_fd_ >= 0 && fsync(dir_fd_) != 0)
        dir_err_ = errno;
    return 0;
}

// Gives an unnamed temporary file a name in its directory (a named one has
// one already). A name the size of mkstemp's, tried until one is free.
int out_file::link_in()
{
    if (!tmp_.empty())
        return 0;
    std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = dir_ + "/." + base_of(target_) + ".XXXXXX";
        char *x = &name[name.size() - 6];
        static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        // Not rand(): gen's draws must stay the C library's own sequence.
        unsigned long r = static_cast<unsigned long>(
                              std::chrono::steady_clock::now().time_since_epoch().count()) ^
                          static_cast<unsigned long>(getpid()) << 20 ^
                          static_cast<unsigned long>(attempt) * 7919;
        for (int i = 0; i < 6; ++i, r /= 62)
            x[i] = chars[r % 62];
        tmp_ = name;
        set_pending_output(tmp_.c_str());
        if (linkat(fd_, "", AT_FDCWD, tmp_.c_str(), AT_EMPTY_PATH) == 0 ||
            linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, tmp_.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        int err = errno;
        set_pending_output(nullptr);
        tmp_.clear();
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

void warn_if_unsynced(const char *path, const out_file &out)
{
    if (int err = out.unsynced())
        warn(path, std::string("written, but its directory could not be synced (") + strerror(err) +
                       "): a crash may still lose the new name");
}
