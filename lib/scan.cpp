#include "scan.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace gen {

bool check_number(const char *p, size_t len, uint64_t off, read_failure &why, bool partial)
{
    auto bad = [&](uint64_t at, const char *what) {
        why = read_failure::malformed(off + at, what);
        return false;
    };
    size_t i = 0;
    if (len > 0 && p[0] == '-')
        i = 1;
    if (partial && i == len)
        return true;
    if (i == len || p[i] < '0' || p[i] > '9')
        return bad(i, i ? "expected a digit" : "expected a digit or '-'");
    if (p[i] == '0') {
        if (i == 1)
            return bad(i, "expected a nonzero digit after '-'");
        if (len > 1)
            return bad(1, "expected a space after 0");
        return true;
    }
    for (++i; i < len; ++i)
        if (p[i] < '0' || p[i] > '9')
            return bad(i, "expected a digit or a space");
    return true;
}

namespace {

size_t buffer_size(int fd)
{
    size_t most = 4 << 20;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) < most)
        return std::max<size_t>(static_cast<size_t>(st.st_size) + 1, 4096);
    return most;
}

} // namespace

token_reader::token_reader(int fd, size_t max_len, size_t bufsize)
    : fd_(fd), max_len_(max_len), size_(bufsize ? bufsize : buffer_size(fd))
{
    own_.reset(new char[size_]);
    buf_ = own_.get();
}

token_reader::token_reader(std::string_view text, size_t max_len)
    : max_len_(max_len), buf_(text.data()), size_(text.size()), end_(text.size()), eof_(true)
{
}

bool token_reader::fail(read_failure f)
{
    failure_ = std::move(f);
    return false;
}

bool token_reader::fill()
{
    char *buf = own_.get();
    if (pos_ > 0) {
        memmove(buf, buf + pos_, end_ - pos_);
        base_ += pos_;
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == size_) {
        // A token longer than the buffer.
        std::unique_ptr<char[]> bigger(new char[2 * size_]);
        memcpy(bigger.get(), buf, end_);
        own_ = std::move(bigger);
        buf = own_.get();
        buf_ = buf;
        size_ *= 2;
    }
    for (;;) {
        ssize_t got = read(fd_, buf + end_, size_ - end_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail({status::read_failed, errno, base_ + end_, "", false});
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
    if (failure_)
        return false;
    size_t searched = 0;  // bytes of the current token known to hold no space
    for (;;) {
        const char *start = buf_ + pos_;
        auto *sp = static_cast<const char *>(memchr(start + searched, ' ', end_ - pos_ - searched));
        if (sp != nullptr) {
            p = start;
            len = static_cast<size_t>(sp - start);
            tok_off_ = base_ + pos_;
            pos_ += len + 1;
            return true;
        }
        searched = end_ - pos_;
        // A newline after the last space, as editors and echo >> add; the
        // first byte after it is the first that does not belong.
        std::string_view rest(start, searched);
        bool newline = rest == "\n" || rest == "\r\n";
        for (std::string_view nl : {"\n", "\r\n"})
            if (rest.size() > nl.size() && rest.compare(0, nl.size(), nl) == 0)
                return fail(read_failure::malformed(base_ + pos_ + nl.size(),
                                                    "expected the end of the crypt after its newline"));
        // Nothing unbounded is kept: the token so far must start a number
        // and fit the longest one allowed.
        read_failure why;
        if (!newline && rest != "\r" &&
            !check_number(start, std::min(searched, max_len_), base_ + pos_, why, true))
            return fail(why);
        if (searched > max_len_)
            return fail(read_failure::malformed(
                base_ + pos_, "number longer than " + std::to_string(max_len_) + " characters",
                true));
        if (eof_ || !fill()) {
            if (failure_)
                return false;
            if (searched == 0 || newline)
                return false;
            if (!check_number(buf_ + pos_, searched, base_ + pos_, why))
                return fail(why);
            return fail(read_failure::malformed(
                base_ + end_, "the crypt ends inside a number: it may have been cut short"));
        }
    }
}

} // namespace gen
