// ungen: restores the input of gen from its crypt.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <getopt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "files.hpp"
#include "gen/gen.hpp"
#include "process.hpp"
#include "progress_line.hpp"

namespace {

const char usage_text[] =
    "Usage: ungen [OPTIONS] [CRYPT]\n"
    "Restore the bytes that gen encoded into CRYPT (default: crypt; - reads\n"
    "standard input).\n"
    "\n"
    "Without --time, ungen reads the round count and every round's flip from\n"
    "CRYPT itself, then searches the second gen started at: newest first, from\n"
    "CRYPT's modification time back (the day before it first), wrapping round\n"
    "through all 2^32 seconds gen can be seeded with. It takes the first second\n"
    "that verifies.\n"
    "\n"
    "  -o, --output FILE    write the bytes to FILE (atomically) instead of\n"
    "                       standard output\n"
    "  -f, --force          replace FILE if it exists\n"
    "  -t, --time SECONDS   the second gen started at, as date +%s prints it\n"
    "  -w, --window SECONDS search only this far back from CRYPT's modification\n"
    "                       time\n"
    "  -j, --jobs N         search with N threads (default: the CPUs ungen may\n"
    "                       use)\n"
    "  -v, --verbose        say which second and how many rounds it was\n"
    "      --unverified     decode from CRYPT's structure alone, with no second\n"
    "                       (for a crypt made with another C library)\n"
    "      --keep-zero      keep a final 0 byte that may be gen's padding\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

struct options {
    const char *crypt = "crypt";
    const char *output = nullptr;
    bool force = false;
    bool verbose = false;
    gen::restore_options r;
};

[[noreturn]] void usage_error(const std::string &msg)
{
    fprintf(stderr, "ungen: %s\nTry 'ungen --help' for more information.\n", msg.c_str());
    exit(2);
}

// A decimal integer, digits only after an optional '-' (no spaces, no '+').
long long parse_integer(const char *arg, const char *name, long long lo, long long hi)
{
    const char *d = arg[0] == '-' ? arg + 1 : arg;
    errno = 0;
    char *end;
    long long v = strtoll(arg, &end, 10);
    if (*d < '0' || *d > '9' || errno != 0 || *end != '\0' || v < lo || v > hi)
        usage_error(std::string("invalid ") + name + ": '" + arg + "'");
    return v;
}

options parse_options(int argc, char **argv)
{
    enum { keep_zero_opt = 256, version_opt, unverified_opt };
    const option longs[] = {
        {"output", required_argument, nullptr, 'o'},
        {"force", no_argument, nullptr, 'f'},
        {"time", required_argument, nullptr, 't'},
        {"window", required_argument, nullptr, 'w'},
        {"jobs", required_argument, nullptr, 'j'},
        {"verbose", no_argument, nullptr, 'v'},
        {"unverified", no_argument, nullptr, unverified_opt},
        {"keep-zero", no_argument, nullptr, keep_zero_opt},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, version_opt},
        {nullptr, 0, nullptr, 0},
    };
    options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:ft:w:j:vh", longs, nullptr)) != -1) {
        switch (c) {
        case 'o':
            if (*optarg == '\0')
                usage_error("the output file name is empty");
            o.output = optarg;
            break;
        case 'f': o.force = true; break;
        case 't':
            o.r.second = static_cast<uint32_t>(parse_integer(optarg, "time", LONG_MIN, LONG_MAX));
            break;
        case 'w':
            o.r.window = static_cast<uint64_t>(parse_integer(optarg, "window", 0, LLONG_MAX));
            break;
        case 'j': o.r.jobs = static_cast<int>(parse_integer(optarg, "jobs", 1, 1024)); break;
        case 'v': o.verbose = true; break;
        case unverified_opt: o.r.unverified = true; break;
        case keep_zero_opt: o.r.keep_zero = true; break;
        case 'h': fputs(usage_text, stdout); exit(0);
        case version_opt: printf("ungen %s\n", gen::version()); exit(0);
        case ':': {
            std::string opt = argv[optind - 1];
            if (opt.compare(0, 2, "--") != 0)
                opt = std::string("-") + static_cast<char>(optopt);
            usage_error("option '" + opt + "' needs an argument");
        }
        default: {
            // optopt is 0 for an unknown long option, the option itself for
            // a long one given an argument it does not take, and the letter
            // for an unknown short one.
            std::string arg = argv[optind - 1];
            std::string name = arg.substr(0, arg.find('='));
            if (optopt == 0)
                usage_error("unknown option '" + name + "'");
            if (optopt >= 256 || strchr("fvh", optopt))
                usage_error("option '" + name + "' takes no argument");
            usage_error(std::string("unknown option '-") + static_cast<char>(optopt) + "'");
        }
        }
    }
    if (argc - optind > 1)
        usage_error("too many arguments");
    if (optind < argc) {
        if (*argv[optind] == '\0')
            usage_error("the crypt file name is empty");
        o.crypt = argv[optind];
    }
    return o;
}

std::string utc(uint32_t s)
{
    time_t t = s;
    char buf[40];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", gmtime(&t));
    return buf;
}

// What ungen says on standard error about a restore that worked.
void report(const gen::restored &r, const char *name, const options &o)
{
    if (r.unverified) {
        std::string msg = "decoded from its structure alone (" + std::to_string(r.rounds) +
                          " rounds); nothing was verified";
        if (r.results > 1)
            msg += "; " + std::to_string(r.results) +
                   " different results fit, this is the one with the most rounds";
        warn(name, msg);
    }
    if (r.results > 1 && !r.unverified) {
        std::string list;
        for (uint32_t s : r.first_seconds)
            list += (list.empty() ? "" : ", ") + std::to_string(s);
        warn(name, "ambiguous: " + std::to_string(r.ambiguous_seconds) + " seconds give " +
                       std::to_string(r.results) + " different results (first seconds: " + list +
                       "); writing the result of the first");
    }
    if (o.verbose && !r.unverified) {
        std::string when = std::to_string(r.second);
        if (!o.r.second)
            when += " (" + utc(r.second) + ")";
        warn(name, "second " + when + ", " + std::to_string(r.rounds) + " rounds");
    }
    if (r.dropped_padding)
        warn(name, "dropped a final 0 byte that may be gen's padding (--keep-zero keeps it)");
}

// The crypt, opened; its name for messages; where the search starts.
int open_crypt(options &o, const char *&name)
{
    bool from_stdin = strcmp(o.crypt, "-") == 0;
    name = from_stdin ? "standard input" : o.crypt;
    int fd = from_stdin ? 0 : open(o.crypt, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        die_errno(name, errno);
    struct stat st;
    if (fstat(fd, &st) != 0)
        die_errno(name, errno);
    if (S_ISDIR(st.st_mode))
        die_errno(name, EISDIR);
    // A regular file's modification time is near the second gen ran;
    // anything else (a pipe, say) starts the search from now.
    o.r.newest = static_cast<uint32_t>(S_ISREG(st.st_mode) ? st.st_mtime : time(nullptr));
    return fd;
}

void write_output(const options &o, const std::vector<unsigned char> &bytes)
{
    const char *data = reinterpret_cast<const char *>(bytes.data());
    if (o.output == nullptr) {
        if (int err = write_fully(1, data, bytes.size()))
            die_errno("standard output", err);
        return;
    }
    out_file out(o.output);
    if (int err = out.error() ? out.error() : out.write(data, bytes.size()))
        die_errno(o.output, err);
    if (int err = out.commit(o.force))
        die_errno(o.output, err);
}

} // namespace

int main(int argc, char **argv)
{
    start_program("ungen");
    options o = parse_options(argc, argv);

    // Writing the bytes into a descriptor that was closed would lose them.
    if (o.output == nullptr && was_closed_at_start(1))
        die_errno("standard output", EBADF);
    struct stat st;
    if (o.output != nullptr && !o.force && lstat(o.output, &st) == 0)
        die(o.output, "File exists (use --force to replace it)");

    const char *name;
    int fd = open_crypt(o, name);
    if (!o.r.second && !o.r.unverified && !gen::rand_model_fits())
        warn("rand", "the C library's generator is not the one modelled; searching with "
                     "the C library itself, on one thread (slow)");
    progress_line line(true);
    o.r.progress = [&](uint64_t done, uint64_t total) { line.update(done, total); };
    gen::restored r = gen::restore_fd(fd, o.r);
    line.finish();
    if (!r.ok)
        die(name, r.message);
    report(r, name, o);
    write_output(o, r.bytes);
    return 0;
}
