#include "ungen_options.hpp"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

namespace {

const char usage_text[] =
    "Usage: ungen [OPTIONS] [CRYPT]\n"
    "Restore the bytes that gen encoded into CRYPT (default: crypt; - reads\n"
    "standard input).\n"
    "\n"
    "Without --time, ungen reads the round count and every round's flip from\n"
    "CRYPT itself, then searches the second gen started at: newest first, from\n"
    "CRYPT's modification time back (the day before it first), wrapping round\n"
    "through all 2^32 seconds gen can be seeded with. It writes the bytes only\n"
    "where one result is supported.\n"
    "\n"
    "  -o, --output FILE    write the bytes to FILE (atomically) instead of\n"
    "                       standard output (- is standard output)\n"
    "  -f, --force          replace FILE if it exists\n"
    "  -t, --time SECONDS   the second gen started at, as date +%s prints it\n"
    "                       (0 to 4294967295): no search\n"
    "  -w, --window SECONDS search only this far back from CRYPT's modification\n"
    "                       time\n"
    "  -j, --jobs N         search with N threads (default: the CPUs ungen may\n"
    "                       use)\n"
    "  -v, --verbose        say which second and how many rounds it was\n"
    "      --rounds R       only the reading of R rounds, where CRYPT reads\n"
    "                       several ways\n"
    "      --libc NAME[,NAME...]\n"
    "                       try only the rand() of these C libraries (default:\n"
    "                       glibc's, then every other one; --libc help lists them)\n"
    "      --unverified     decode from CRYPT's structure alone, with no second\n"
    "      --keep-zero      keep a final 0 byte that may be gen's padding\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error, 3 several results fit\n"
    "and nothing tells them apart (they are listed; --rounds picks one).\n";

enum { keep_zero_opt = 256, version_opt, unverified_opt, rounds_opt, libc_opt };

const option longs[] = {
    {"output", required_argument, nullptr, 'o'},
    {"force", no_argument, nullptr, 'f'},
    {"time", required_argument, nullptr, 't'},
    {"window", required_argument, nullptr, 'w'},
    {"jobs", required_argument, nullptr, 'j'},
    {"verbose", no_argument, nullptr, 'v'},
    {"rounds", required_argument, nullptr, rounds_opt},
    {"unverified", no_argument, nullptr, unverified_opt},
    {"libc", required_argument, nullptr, libc_opt},
    {"keep-zero", no_argument, nullptr, keep_zero_opt},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, version_opt},
    {nullptr, 0, nullptr, 0},
};

[[noreturn]] void usage_error(const std::string &msg)
{
    fprintf(stderr, "ungen: %s\nTry 'ungen --help' for more information.\n", msg.c_str());
    exit(2);
}

// A decimal integer from lo to hi, digits only after an optional '-' (no
// spaces, no '+'); `range` says what is allowed when it is not.
long long parse_integer(const char *arg, const char *name, long long lo, long long hi,
                        const char *range = nullptr)
{
    const char *d = arg[0] == '-' ? arg + 1 : arg;
    errno = 0;
    char *end;
    long long v = strtoll(arg, &end, 10);
    bool number = *d >= '0' && *d <= '9' && errno == 0 && *end == '\0';
    if (!number || v < lo || v > hi)
        usage_error(std::string("invalid ") + name + ": '" + arg + "'" +
                    (number && range ? std::string(" (") + range + ")" : ""));
    return v;
}

// Exits 0 once what was printed on standard output is written, or 1 with
// the reason it could not be.
[[noreturn]] void exit_printed()
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        int err = errno;
        fprintf(stderr, "ungen: standard output: %s\n", strerror(err ? err : EIO));
        exit(1);
    }
    exit(0);
}

// Prints the families --libc takes and the C libraries of each.
[[noreturn]] void list_families()
{
    printf("The C libraries whose rand() ungen knows, by the name --libc takes:\n");
    for (const gen::libc_family &f : gen::libc_families())
        printf("  %-10s %s\n", f.name.c_str(), f.libraries.c_str());
    exit_printed();
}

// The names of --libc NAME[,NAME...], each one a family's.
std::vector<std::string> parse_families(const char *arg)
{
    std::vector<std::string> names;
    std::string list = arg;
    for (size_t at = 0;;) {
        size_t comma = list.find(',', at);
        std::string name = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        bool known = false;
        for (const gen::libc_family &f : gen::libc_families())
            known = known || f.name == name;
        if (!known)
            usage_error("invalid C library: '" + name + "' (--libc help lists them)");
        names.push_back(name);
        if (comma == std::string::npos)
            return names;
        at = comma + 1;
    }
}

// The usage error for the option getopt could not take: argv[optind - 1].
[[noreturn]] void bad_option(char **argv)
{
    // optopt is 0 for an unknown or ambiguous long option, the option
    // itself for a long one given an argument it does not take, and the
    // letter for an unknown short one.
    std::string arg = argv[optind - 1];
    std::string name = arg.substr(0, arg.find('='));
    if (optopt == 0 && name.compare(0, 2, "--") == 0) {
        std::string prefix = name.substr(2), matches;
        int count = 0;
        for (const option *o = longs; o->name; ++o)
            if (strncmp(o->name, prefix.c_str(), prefix.size()) == 0) {
                matches += std::string(count++ ? ", --" : "--") + o->name;
            }
        if (count > 1)
            usage_error("option '" + name + "' is ambiguous: it may be " + matches);
    }
    if (optopt == 0)
        usage_error("unknown option '" + name + "'");
    if (optopt >= 256 || strchr("fvh", optopt))
        usage_error("option '" + name + "' takes no argument");
    usage_error(std::string("unknown option '-") + static_cast<char>(optopt) + "'");
}

// Options that would be dropped in silence together.
void check_conflicts(const options &o, bool window)
{
    if (o.r.second && o.r.unverified)
        usage_error("--time and --unverified exclude each other: one verifies by the second, "
                    "the other by nothing");
    if (o.r.second && window)
        usage_error("--time and --window exclude each other: with the second there is no search");
    if (o.r.unverified && window)
        usage_error("--unverified and --window exclude each other: there is no search");
    if (o.force && o.output == nullptr)
        usage_error("--force needs --output FILE: standard output is never replaced");
}

} // namespace

options parse_options(int argc, char **argv)
{
    options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:ft:w:j:vh", longs, nullptr)) != -1) {
        switch (c) {
        case 'o':
            if (*optarg == '\0')
                usage_error("the output file name is empty");
            o.output = strcmp(optarg, "-") == 0 ? nullptr : optarg;
            break;
        case 'f': o.force = true; break;
        case 't':
            o.r.second = static_cast<uint32_t>(
                parse_integer(optarg, "time", 0, UINT32_MAX, "gen is seeded with 0 to 4294967295"));
            break;
        case rounds_opt:
            o.r.rounds =
                static_cast<int>(parse_integer(optarg, "round count", 0, gen::most_rounds, "0 to 4010"));
            break;
        case 'w':
            o.r.window = static_cast<uint64_t>(parse_integer(optarg, "window", 0, LLONG_MAX));
            break;
        case 'j': o.r.jobs = static_cast<int>(parse_integer(optarg, "jobs", 1, 1024, "1 to 1024")); break;
        case 'v': o.verbose = true; break;
        case unverified_opt: o.r.unverified = true; break;
        case libc_opt:
            if (strcmp(optarg, "help") == 0)
                list_families();
            o.r.libc = parse_families(optarg);
            break;
        case keep_zero_opt: o.r.keep_zero = true; break;
        case 'h': fputs(usage_text, stdout); exit_printed();
        case version_opt: printf("ungen %s\n", gen::version()); exit_printed();
        case ':': {
            std::string opt = argv[optind - 1];
            if (opt.compare(0, 2, "--") != 0)
                opt = std::string("-") + static_cast<char>(optopt);
            usage_error("option '" + opt + "' needs an argument");
        }
        default: bad_option(argv);
        }
    }
    if (argc - optind > 1)
        usage_error("too many arguments");
    if (optind < argc) {
        if (*argv[optind] == '\0')
            usage_error("the crypt file name is empty");
        o.crypt = argv[optind];
    }
    check_conflicts(o, o.r.window.has_value());
    return o;
}
