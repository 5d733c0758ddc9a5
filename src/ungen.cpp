// ungen: restores the input of gen from its crypt.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "decode.hpp"
#include "fail.hpp"
#include "files.hpp"
#include "scan.hpp"

namespace {

const char usage_text[] =
    "Usage: ungen [OPTIONS] [CRYPT]\n"
    "Restore the bytes that gen encoded into CRYPT (default: crypt).\n"
    "\n"
    "  -o, --output FILE    write the bytes to FILE (atomically) instead of\n"
    "                       standard output\n"
    "  -f, --force          replace FILE if it exists\n"
    "  -t, --time SECONDS   the second gen started at, as date +%s prints it\n"
    "  -w, --window SECONDS without --time, try the seconds from CRYPT's\n"
    "                       modification time back this far (default 86400)\n"
    "      --keep-zero      keep a final 0 byte that may be gen's padding\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

struct options {
    const char *crypt = "crypt";
    const char *output = nullptr;
    bool force = false;
    bool have_time = false;
    long time = 0;
    long window = 86400;
    bool keep_zero = false;
};

[[noreturn]] void usage_error(const std::string &msg)
{
    fprintf(stderr, "ungen: %s\nTry 'ungen --help' for more information.\n", msg.c_str());
    exit(2);
}

long parse_seconds(const char *arg, const char *name, bool allow_negative)
{
    errno = 0;
    char *end;
    long v = strtol(arg, &end, 10);
    if (errno != 0 || end == arg || *end != '\0' || (!allow_negative && v < 0))
        usage_error(std::string("invalid ") + name + ": '" + arg + "'");
    return v;
}

options parse_options(int argc, char **argv)
{
    enum { keep_zero_opt = 256, version_opt };
    const option longs[] = {
        {"output", required_argument, nullptr, 'o'}, {"force", no_argument, nullptr, 'f'},
        {"time", required_argument, nullptr, 't'},   {"window", required_argument, nullptr, 'w'},
        {"keep-zero", no_argument, nullptr, keep_zero_opt},
        {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, version_opt},
        {nullptr, 0, nullptr, 0},
    };
    options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:ft:w:h", longs, nullptr)) != -1) {
        switch (c) {
        case 'o': o.output = optarg; break;
        case 'f': o.force = true; break;
        case 't': o.time = parse_seconds(optarg, "time", true); o.have_time = true; break;
        case 'w': o.window = parse_seconds(optarg, "window", false); break;
        case keep_zero_opt: o.keep_zero = true; break;
        case 'h': fputs(usage_text, stdout); exit(0);
        case version_opt: puts("ungen 1.0.0"); exit(0);
        case ':': usage_error(std::string("option '") + argv[optind - 1] + "' needs an argument");
        default: usage_error(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (argc - optind > 1)
        usage_error("too many arguments");
    if (optind < argc)
        o.crypt = argv[optind];
    return o;
}

void rewind_or_die(int fd, const char *path)
{
    if (lseek(fd, 0, SEEK_SET) != 0)
        die_errno(path, errno);
}

// Decodes, trying the given second or the window before the file's
// modification time. Dies if the file is unreadable or malformed or if
// no second verifies.
std::vector<unsigned char> decode(const options &o, int fd)
{
    std::vector<unsigned char> bytes;
    std::string tried;
    if (o.have_time) {
        if (decode_at(fd, o.time, o.keep_zero, bytes))
            return bytes;
        if (lseek(fd, 0, SEEK_SET) == 0)
            summarize(fd);  // a malformed file says where
        tried = "second " + std::to_string(o.time);
    } else {
        struct stat st;
        if (fstat(fd, &st) != 0)
            die_errno(o.crypt, errno);
        long newest = st.st_mtime;
        crypt_summary s = summarize(fd);
        for (long k = 0; k <= o.window; ++k) {
            long t = newest - k;
            if (!may_match(s, t))
                continue;
            rewind_or_die(fd, o.crypt);
            if (decode_at(fd, t, o.keep_zero, bytes))
                return bytes;
        }
        tried = "the seconds from " + std::to_string(newest - o.window) + " to " +
                std::to_string(newest);
    }
    die(o.crypt, ("no encoding run matches " + tried).c_str());
}

} // namespace

int main(int argc, char **argv)
{
    progname = "ungen";
    setup_process();
    install_memory_handlers();
    options o = parse_options(argc, argv);

    struct stat st;
    if (o.output != nullptr && !o.force && lstat(o.output, &st) == 0)
        die(o.output, "File exists (use --force to replace it)");

    int fd = open(o.crypt, O_RDONLY);
    if (fd < 0)
        die_errno(o.crypt, errno);
    std::vector<unsigned char> bytes;
    try {
        bytes = decode(o, fd);
    } catch (const bad_crypt &e) {
        die(o.crypt, ("byte " + std::to_string(e.offset) + ": " + e.what).c_str());
    } catch (const read_error &e) {
        die_errno(o.crypt, e.err);
    }
    close(fd);

    if (o.output == nullptr) {
        if (int err = write_fully(1, bytes.data(), bytes.size()))
            die_errno("standard output", err);
        return 0;
    }
    out_file out(o.output);
    out.put(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    out.commit(o.force);
    return 0;
}
