// Reading the input and replacing an output file safely.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>

// Writes all of data[0..len) to fd, retrying short writes; 0 or an errno.
int write_fully(int fd, const void *data, size_t len);

struct input {
    size_t size = 0;
    int err = 0;             // opening or reading failed
    bool truncated = false;  // the file holds more than was read
};

// Reads at most cap bytes of the file at path into buf, with one read call
// where the file allows it. Beyond cap, one more byte is tried to tell
// whether the file is longer; the rest is never read.
input read_input(const char *path, unsigned char *buf, size_t cap);

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
// failure comes before the work. Every failure leaves path as it was.
struct out_options {
    bool replace = true;         // false: an existing path is an error (EEXIST), but a FIFO or device
                                 // is written into all the same
    bool only_writable = false;  // an existing file we may not write is an error, as for fopen
};

class out_file {
public:
    explicit out_file(const char *path, out_options o = {});
    ~out_file();
    out_file(const out_file &) = delete;
    out_file &operator=(const out_file &) = delete;

    // 0 once made ready, or why it cannot be written.
    int error() const { return err_; }
    // 0, or an errno.
    int write(const char *p, size_t len);
    // Puts the file in place; with replace false an existing file at the
    // target is an error (EEXIST) and stays as it was. 0, or an errno.
    int commit(bool replace = true);
    // After a commit: why the directory could not be synced, so that the
    // new name may not survive a crash (0: it was).
    int unsynced() const { return dir_err_; }

private:
    int open_temporary();
    int keep_attributes(const struct stat &old);
    int link_in();
    int fail(int err);

    std::string target_;  // symbolic links resolved
    std::string dir_;     // the target's directory
    std::string tmp_;     // the temporary file's name, once it has one
    bool direct_ = false; // writing into a FIFO or device
    int fd_ = -1;
    int dir_fd_ = -1;     // the target's directory, to sync the new name
    int dir_err_ = 0;     // why it could not be opened or synced
    int err_ = 0;
};

// After a commit, warns "PROGRAM: path: ..." if the directory could not be
// synced.
void warn_if_unsynced(const char *path, const out_file &out);

// The file that path names once symbolic links are followed (the link's
// own target where it dangles).
std::string resolve_links(const std::string &path);
