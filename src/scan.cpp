#include "scan.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

void check_number(const char *p, size_t len, uint64_t off, bool partial)
{
    size_t i = 0;
    if (len > 0 && p[0] == '-')
        i = 1;
    if (partial && i == len)
        return;
    if (i == len || p[i] < '0' || p[i] > '9')
        throw bad_crypt{off + i, i ? "expected a digit" : "expected a digit or '-'"};
    if (p[i] == '0') {
        if (i == 1)
            throw bad_crypt{off + i, "expected a nonzero digit after '-'"};
        if (len > 1)
            throw bad_crypt{off + 1, "expected a space after 0"};
        return;
    }
    for (++i; i < len; ++i)
        if (p[i] < '0' || p[i] > '9')
            throw bad_crypt{off + i, "expected a digit or a space"};
}

static size_t buffer_size(int fd)
{
    size_t most = 4 << 20;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) < most)
        return std::max<size_t>(static_cast<size_t>(st.st_size) + 1, 4096);
    return most;
}

token_reader::token_reader(int fd, size_t max_len, size_t bufsize)
    : fd_(fd), max_len_(max_len), size_(bufsize ? bufsize : buffer_size(fd))
{
    buf_.reset(new char[size_]);
}

bool token_reader::fill()
{
    if (pos_ > 0) {
        memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
        base_ += pos_;
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == size_) {
        // A token longer than the buffer.
        std::unique_ptr<char[]> bigger(new char[2 * size_]);
        memcpy(bigger.get(), buf_.get(), end_);
        buf_ = std::move(bigger);
        size_ *= 2;
    }
    for (;;) {
        ssize_t got = read(fd_, buf_.get() + end_, size_ - end_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw read_error{errno};
        if (got == 0) {
            eof_ = true;
            return false;
        }
        end_ += static_cast<size_t>(got);
        return true;
    }
}

bool token_reader::next(const char *&p, size_t &len)
{
    size_t searched = 0;  // bytes of the current token known to hold no space
    for (;;) {
        char *start = buf_.get() + pos_;
        auto *sp = static_cast<char *>(memchr(start + searched, ' ', end_ - pos_ - searched));
        if (sp != nullptr) {
            p = start;
            len = static_cast<size_t>(sp - start);
            tok_off_ = base_ + pos_;
            pos_ += len + 1;
            return true;
        }
        searched = end_ - pos_;
        // Nothing unbounded is kept: the token so far must start a number
        // and fit the longest one allowed.
        check_number(buf_.get() + pos_, std::min(searched, max_len_), base_ + pos_, true);
        if (searched > max_len_)
            throw bad_crypt{base_ + pos_,
                            "number longer than " + std::to_string(max_len_) + " characters", true};
        if (eof_ || !fill()) {
            if (searched == 0)
                return false;
            check_number(buf_.get() + pos_, searched, base_ + pos_);
            throw bad_crypt{base_ + end_, "expected a space"};
        }
    }
}
