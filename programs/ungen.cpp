// ungen: restores the input of gen from its crypt.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "files.hpp"
#include "gen/gen.hpp"
#include "process.hpp"
#include "progress_line.hpp"
#include "ungen_options.hpp"

namespace {

// Exit status of a crypt that several results fit, none of them written.
constexpr int ambiguous_status = 3;

std::string utc(uint32_t s)
{
    time_t t = s;
    char buf[40];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", gmtime(&t));
    return buf;
}

// The first bytes of a candidate, quoted: text as text, other bytes and
// quotes escaped.
std::string preview(const gen::candidate &c)
{
    // Escaped bytes take four columns: fewer of them.
    const size_t shown = c.text ? 40 : 16;
    std::string out = "\"";
    for (size_t i = 0; i < c.head.size() && i < shown; ++i) {
        unsigned char b = c.head[i];
        static const char *names[] = {"\\0", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, "\\t", "\\n", nullptr, nullptr, "\\r"};
        if (b < 14 && names[b])
            out += names[b];
        else if (b == '"' || b == '\\')
            out += std::string("\\") + static_cast<char>(b);
        else if ((b >= 0x20 && b < 0x7F) || (c.text && b >= 0x80))
            out += static_cast<char>(b);
        else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", b);
            out += hex;
        }
    }
    out += "\"";
    if (c.length > shown || c.head.size() < c.length)
        out += "...";
    return out;
}

// Round counts, lowest first, with runs written as ranges: "1, 3 to 4010".
std::string round_counts(const std::vector<int> &rounds)
{
    std::string out;
    for (size_t i = 0; i < rounds.size();) {
        size_t j = i;
        while (j + 1 < rounds.size() && rounds[j + 1] == rounds[j] + 1)
            ++j;
        out += (out.empty() ? "" : ", ") + std::to_string(rounds[i]);
        if (j > i + 1)
            out += " to " + std::to_string(rounds[j]);
        else if (j == i + 1)
            out += ", " + std::to_string(rounds[j]);
        i = j + 1;
    }
    return out;
}

// One line per candidate: its length and round counts, its first bytes,
// and how many seconds make it.
void list_candidates(const char *name, const std::vector<gen::candidate> &all)
{
    constexpr size_t listed = 10;
    for (size_t i = 0; i < all.size() && i < listed; ++i) {
        const gen::candidate &c = all[i];
        std::string rounds = round_counts(c.rounds);
        std::string line = "  " + std::to_string(c.length) + (c.length == 1 ? " byte, " : " bytes, ") +
                           rounds + (c.rounds.size() == 1 && c.rounds[0] == 1 ? " round: " : " rounds: ") +
                           preview(c);
        if (c.searched)
            line += "; " + std::to_string(c.seconds) +
                    (c.seconds == 1 ? " second makes it: " : " seconds make it, the nearest ") +
                    std::to_string(c.nearest) + " (" + utc(c.nearest) + ")";
        warn(name, line);
    }
    if (all.size() > listed)
        warn(name, "  and " + std::to_string(all.size() - listed) + " more");
}

// What ungen says on standard error about a restore that worked.
void report(const gen::restored &r, const char *name, const options &o)
{
    if (r.unverified)
        warn(name, "decoded from its structure alone (" + std::to_string(r.rounds) +
                       " rounds); nothing was verified");
    if (r.chosen_by_window) {
        std::string range = r.chosen_within == gen::first_window + 1
                                ? "the day"
                                : "the " + std::to_string(r.chosen_within) + " seconds";
        warn(name, "only " + range + " before " + (o.from_file ? "its modification time" : "now") +
                       " tells its readings apart: writing what second " + std::to_string(r.second) +
                       " there makes; these also fit, and seconds further back may make them:");
        list_candidates(name, r.candidates);
        warn(name, "--rounds R writes another");
    }
    if (o.verbose && !r.unverified) {
        std::string twins;
        for (uint32_t t : r.twins)
            twins += (twins.empty() ? "; second " : " and ") + std::to_string(t);
        if (!twins.empty())
            twins += r.twins.size() == 1 ? " makes the same draws too" : " make the same draws too";
        warn(name, "second " + std::to_string(r.second) + " (" + utc(r.second) + "), " +
                       std::to_string(r.rounds) + " rounds, " + r.libc_rand + twins);
    }
    // Text never ends in a 0 byte: where no other byte is 0, the final one
    // was gen's padding, and only -v says so.
    if (r.dropped_padding && r.zero_elsewhere)
        warn(name, "dropped a final 0 byte that may be gen's padding (--keep-zero keeps it)");
    else if (r.dropped_padding && o.verbose)
        warn(name, "dropped the final 0 byte, gen's padding of an odd length");
}

// Reports a restore that did not work, and exits.
[[noreturn]] void fail(const gen::restored &r, const char *name)
{
    if (r.kind != gen::status::ambiguous)
        die(name, r.message);
    warn(name, r.message);
    list_candidates(name, r.candidates);
    warn(name, "--rounds R writes one of them");
    exit(ambiguous_status);
}

// The crypt, opened; its name for messages; where the search starts.
int open_crypt(options &o, const char *&name)
{
    bool from_stdin = strcmp(o.crypt, "-") == 0;
    name = from_stdin ? "standard input" : o.crypt;
    int fd = from_stdin ? 0 : open(o.crypt, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        die_errno(name, errno);
    // Reading a standard input that was closed would take it as empty.
    if (is_closed_stdin(fd))
        die_errno(name, EBADF);
    struct stat st;
    if (fstat(fd, &st) != 0)
        die_errno(name, errno);
    if (S_ISDIR(st.st_mode))
        die_errno(name, EISDIR);
    // A regular file's modification time is near the second gen ran;
    // anything else (a pipe, say) starts the search from now.
    o.from_file = S_ISREG(st.st_mode);
    o.r.newest = static_cast<uint32_t>(o.from_file ? st.st_mtime : time(nullptr));
    return fd;
}

void write_output(const options &o, out_file *out, const std::vector<unsigned char> &bytes)
{
    const char *data = reinterpret_cast<const char *>(bytes.data());
    if (out == nullptr) {
        int err = write_fully(1, data, bytes.size());
        // A reader that went away wants no more: end as cat does.
        if (err == EPIPE)
            die_of_signal(SIGPIPE);
        if (err)
            die_errno("standard output", err);
        return;
    }
    if (int err = out->write(data, bytes.size()))
        die_errno(o.output, err);
    if (int err = out->commit(o.force))
        die_errno(o.output, err);
    warn_if_unsynced(o.output, *out);
}

} // namespace

int main(int argc, char **argv)
{
    start_program("ungen");
    options o = parse_options(argc, argv);

    // Writing the bytes into a descriptor that was closed would lose them.
    if (o.output == nullptr && was_closed_at_start(1))
        die_errno("standard output", EBADF);
    const char *name;
    int fd = open_crypt(o, name);
    // Before the search, so that an output that cannot be written fails
    // at once and leaves nothing behind.
    std::unique_ptr<out_file> out;
    if (o.output != nullptr) {
        out = std::make_unique<out_file>(o.output, out_options{o.force, false});
        if (out->error() == EEXIST && !o.force)
            die(o.output, "File exists (use --force to replace it)");
        if (out->error())
            die_errno(o.output, out->error());
    }

    progress_line line(true);
    o.r.progress = [&](uint64_t done, uint64_t total) { line.update(done, total); };
    gen::restored r = gen::restore_fd(fd, o.r);
    line.finish();
    if (!r.ok)
        fail(r, name);
    report(r, name, o);
    write_output(o, out.get(), r.bytes);
    return 0;
}
