// How gen's crypt and ungen's output replace a file, and how both stand up
// to hostile inputs and odd outputs.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "random_bytes.hpp"
#include "run.hpp"
#include "scratch.hpp"
#include "seconds.hpp"

namespace {

const std::string gen = GEN_BIN, ungen = UNGEN_BIN;
const bool root = geteuid() == 0;
constexpr uid_t nobody = 65534;

struct stat stat_of(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

// A directory with flag and an old "crypt"; `out` is where the program
// writes: "crypt" for gen, "restored" for ungen -f -o restored.
struct workspace {
    scratch s, other;  // other: a second directory for link targets
    std::string out;
    std::string flag = random_bytes(300, 8);
    long t = second_for_rounds(4010);
    std::vector<std::string> argv;

    explicit workspace(bool for_gen) : out(for_gen ? "crypt" : "restored")
    {
        s.write("flag", flag);
        run_result r = run(s.dir, frozen_at(t, gen), utc());
        EXPECT_EQ(r.status, 0) << r.err;
        // Whatever the umask, another user may read the input.
        for (const char *f : {"flag", "crypt"})
            chmod(s.path(f).c_str(), 0644);
        chmod(s.dir.c_str(), 0755);
        chmod(other.dir.c_str(), 0755);
        if (for_gen) {
            argv = frozen_at(t, gen);
            rename(s.path("crypt").c_str(), s.path("expected").c_str());
        } else {
            argv = {ungen, "-t", std::to_string(t), "-f", "-o", "restored", "crypt"};
            s.write("expected", flag);
        }
    }
    std::string expected() const { return s.read("expected"); }
};

struct replace_case {
    const char *name;
    bool needs_root;
    std::function<void(workspace &)> prepare;
    uid_t as = 0;  // run as this user
    int status = 0;
    std::string err;  // the message, if any
    std::function<void(workspace &)> check;
    int only = 0;     // 1: for gen only, 2: for ungen only
};

// Gives the workspace's directory and its output to nobody, the output
// with these permission bits, the directory with those.
void give_to_nobody(workspace &w, mode_t out_mode, mode_t dir_mode)
{
    w.s.write(w.out, "old");
    EXPECT_EQ(chown(w.s.path(w.out).c_str(), nobody, nobody), 0);
    chmod(w.s.path(w.out).c_str(), out_mode);
    EXPECT_EQ(chown(w.s.dir.c_str(), nobody, nobody), 0);
    chmod(w.s.dir.c_str(), dir_mode);
}

TEST(Replace, OutputsKeepWhatTheUserSetUp)
{
    const replace_case cases[] = {
        {"mode 600 is kept", false,
         [](workspace &w) {
             w.s.write(w.out, "old");
             chmod(w.s.path(w.out).c_str(), 0600);
         },
         0, 0, "",
         [](workspace &w) {
             EXPECT_TRUE(w.s.read(w.out) == w.expected());
             EXPECT_EQ(stat_of(w.s.path(w.out)).st_mode & 07777, 0600u);
         }},
        {"owner and group are kept", true,
         [](workspace &w) {
             w.s.write(w.out, "old");
             EXPECT_EQ(chown(w.s.path(w.out).c_str(), 1234, 5678), 0);
         },
         0, 0, "",
         [](workspace &w) {
             struct stat st = stat_of(w.s.path(w.out));
             EXPECT_EQ(st.st_uid, 1234u);
             EXPECT_EQ(st.st_gid, 5678u);
             EXPECT_TRUE(w.s.read(w.out) == w.expected());
         }},
        {"a symbolic link is written through", false,
         [](workspace &w) {
             w.other.write("target", "old");
             EXPECT_EQ(symlink(w.other.path("target").c_str(), w.s.path(w.out).c_str()), 0);
         },
         0, 0, "",
         [](workspace &w) {
             EXPECT_TRUE(S_ISLNK(stat_of(w.s.path(w.out)).st_mode));
             EXPECT_TRUE(w.other.read("target") == w.expected());
         }},
        {"a dangling link creates its target", false,
         [](workspace &w) {
             // Relative, across directories: /tmp/a/out -> ../b/new.
             std::string rel = "../" + w.other.dir.substr(w.other.dir.rfind('/') + 1) + "/new";
             EXPECT_EQ(symlink(rel.c_str(), w.s.path(w.out).c_str()), 0);
         },
         0, 0, "",
         [](workspace &w) {
             EXPECT_TRUE(S_ISLNK(stat_of(w.s.path(w.out)).st_mode));
             EXPECT_TRUE(w.other.read("new") == w.expected());
         }},
        {"a hard link keeps the old bytes", false,
         [](workspace &w) {
             w.s.write(w.out, "old");
             EXPECT_EQ(link(w.s.path(w.out).c_str(), w.other.path("alias").c_str()), 0);
         },
         0, 0, "",
         [](workspace &w) {
             EXPECT_TRUE(w.s.read(w.out) == w.expected());
             EXPECT_EQ(w.other.read("alias"), "old");
         }},
        {"a directory that refuses the write loses nothing", true,
         [](workspace &w) { w.s.write(w.out, "old"); }, nobody, 1, "Permission denied",
         [](workspace &w) { EXPECT_EQ(w.s.read(w.out), "old"); }},
        {"a group that cannot be kept loses nothing", true,
         [](workspace &w) {
             w.s.write(w.out, "old");
             chmod(w.s.dir.c_str(), 0777);
             EXPECT_EQ(chown(w.s.path(w.out).c_str(), nobody, 0), 0);
         },
         nobody, 1, "Operation not permitted",
         [](workspace &w) { EXPECT_EQ(w.s.read(w.out), "old"); }},
        {"a directory it may write but not read: replaced, with a word", true,
         [](workspace &w) { give_to_nobody(w, 0644, 0333); }, nobody, 0,
         "written, but its directory could not be synced (Permission denied): a crash may "
         "still lose the new name",
         [](workspace &w) { EXPECT_TRUE(w.s.read(w.out) == w.expected()); }},
        {"gen keeps a crypt made read-only, as fopen would", true,
         [](workspace &w) { give_to_nobody(w, 0444, 0755); }, nobody, 1, "Permission denied",
         [](workspace &w) { EXPECT_EQ(w.s.read(w.out), "old"); }, 1},
        {"ungen --force replaces an output made read-only", true,
         [](workspace &w) { give_to_nobody(w, 0444, 0755); }, nobody, 0, "",
         [](workspace &w) {
             EXPECT_TRUE(w.s.read(w.out) == w.expected());
             EXPECT_EQ(stat_of(w.s.path(w.out)).st_mode & 07777, 0444u);
         },
         2},
    };
    for (bool for_gen : {true, false})
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(for_gen ? "gen: " : "ungen: ") + c.name);
            if ((c.needs_root && !root) || c.only == (for_gen ? 2 : 1))
                continue;
            workspace w(for_gen);
            if (c.as != 0)
                for (auto &a : w.argv)
                    if (a == gen || a == ungen)
                        a = for_anyone(a);
            std::set<std::string> before_other = w.other.names();
            c.prepare(w);
            before_other = w.other.names();
            std::set<std::string> before = w.s.names();
            run_opts o = utc();
            o.uid = c.as;
            run_result r = run(w.s.dir, w.argv, o);
            EXPECT_EQ(r.status, c.status) << r.err;
            if (!c.err.empty()) {
                EXPECT_EQ(r.err, (for_gen ? "gen: " : "ungen: ") + w.out + ": " + c.err + "\n");
            }
            c.check(w);
            // No temporary file anywhere.
            std::set<std::string> after_other = w.other.names();
            for (const auto &n : after_other)
                EXPECT_TRUE(n == "new" || before_other.count(n)) << n;
            before.insert(w.out);
            EXPECT_EQ(w.s.names(), before);
        }
}

TEST(Replace, TheBytesAreOnDiskBeforeTheNameAndTheNameAfter)
{
    for (bool for_gen : {true, false}) {
        workspace w(for_gen);
        run_opts o = utc();
        o.env.emplace_back("LD_PRELOAD", preload(TRACE_SYNC_LIB));
        o.env.emplace_back("TRACE_FILE", w.other.path("trace"));
        run_result r = run(w.s.dir, w.argv, o);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(w.other.read("trace"), "fsync\nlink\nrename\nfsync\n");
    }
}

} // namespace

namespace {

// Starts gen with standard output a pipe too small for its progress lines
// and nobody reading, so it stalls inside the run, sends it sig, and
// returns how it ended (128 + signal).
int interrupt_gen(const std::string &dir, int sig)
{
    int p[2];
    if (pipe(p) != 0)
        return -1;
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    long t = second_for_rounds(4010);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        dup2(p[1], 1);
        close(p[0]);
        close(p[1]);
        // 4010 rounds: far more progress lines than the pipe holds.
        setenv("LD_PRELOAD", preload(TRACE_LIB).c_str(), 1);
        setenv("TRACE_TIME", std::to_string(t).c_str(), 1);
        execl(gen.c_str(), gen.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(p[1]);
    usleep(300 * 1000);
    kill(pid, sig);
    int st = 0;
    waitpid(pid, &st, 0);
    close(p[0]);
    return WIFSIGNALED(st) ? 128 + WTERMSIG(st) : WEXITSTATUS(st);
}

struct hostile_case {
    const char *name;
    std::function<void(const scratch &)> prepare;
    std::vector<std::string> argv;  // run in the scratch directory
    out_mode out;
    int status;
    std::string err;  // exact
    std::function<void(const scratch &, const run_result &)> check;
};

// Runs one case in a scratch directory holding flag and its crypt of
// second t: its status, its message (exact, or a prefix ending in '*')
// and its own check.
void run_hostile(const hostile_case &c, const std::string &flag, long t)
{
    SCOPED_TRACE(c.name);
    scratch s;
    s.write("flag", flag);
    ASSERT_EQ(run(s.dir, frozen_at(t, gen), utc()).status, 0);
    c.prepare(s);
    run_opts o = utc();
    o.out = c.out == out_mode::closed_stdin ? out_mode::capture : c.out;
    o.close_stdin = c.out == out_mode::closed_stdin;
#ifndef GEN_SANITIZE
    o.address_space = 1ull << 30;  // nothing may grow without bound
#endif
    run_result r = run(s.dir, c.argv, o);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (!c.err.empty() && c.err.back() == '*')
        EXPECT_EQ(r.err.rfind(c.err.substr(0, c.err.size() - 1), 0), 0u) << r.err;
    else
        EXPECT_EQ(r.err, c.err);
    if (c.check)
        c.check(s, r);
}

TEST(Hostile, NoWrongSuccessNoBlowup)
{
    // Binary, with a 0 byte: its final 0 byte may be real.
    std::string flag = random_bytes(301, 9);
    flag[10] = '\0';
    long t = second_for_rounds(4010);
    std::string T = std::to_string(t);
    auto nothing = [](const scratch &) {};
    auto restored = [flag](const scratch &, const run_result &r) { EXPECT_TRUE(r.out == flag); };
    auto no_output = [](const scratch &, const run_result &r) { EXPECT_EQ(r.out, ""); };
    std::string dropped = "dropped a final 0 byte that may be gen's padding (--keep-zero keeps it)\n";
    const hostile_case cases[] = {
        {"1: a closed standard output is an error", nothing, {ungen, "-t", T}, out_mode::closed, 1,
         "ungen: standard output: Bad file descriptor\n", nullptr},
        {"2: a FIFO is written into, not replaced",
         [](const scratch &s) { mkfifo(s.path("node").c_str(), 0644); },
         {"sh", "-c", "timeout 60 cat node > got & " + sh_quote(ungen) + " -t " + T + " -f -o node crypt; s=$?; wait; exit $s"},
         out_mode::capture, 0, "ungen: crypt: " + dropped,
         [flag](const scratch &s, const run_result &) {
             struct stat st;
             EXPECT_EQ(lstat(s.path("node").c_str(), &st), 0);
             EXPECT_TRUE(S_ISFIFO(st.st_mode));
             EXPECT_TRUE(s.read("got") == flag);
         }},
        {"2: a device as crypt is written into, not replaced",
         [](const scratch &s) {
             if (geteuid() == 0)
                 mknod(s.path("dev").c_str(), S_IFCHR | 0666, makedev(1, 3));
             else
                 EXPECT_EQ(symlink("/dev/null", s.path("dev").c_str()), 0);
         },
         {"sh", "-c", "mkdir g && cp flag g/ && mv dev g/crypt && cd g && " + sh_quote(gen) + " > /dev/null"},
         out_mode::capture, 0, "",
         [](const scratch &s, const run_result &) {
             struct stat st;
             EXPECT_EQ(stat(s.path("g/crypt").c_str(), &st), 0);
             EXPECT_TRUE(S_ISCHR(st.st_mode));
         }},
        {"3: endless bytes that start no number", nothing, {ungen, "-t", "5", "/dev/zero"},
         out_mode::capture, 1, "ungen: /dev/zero: not a crypt of gen (byte 0: expected a digit or '-')\n",
         no_output},
        {"3: a number longer than the rounds make",
         [](const scratch &s) { s.write("long", std::string(50 << 20, '7') + " "); },
         {ungen, "-t", T, "long"}, out_mode::capture, 1,
         "ungen: long: no encoding run matches second " + T + ", with the rand() of glibc, musl, msvc, "
         "macos, freebsd, freebsd10, netbsd, newlib, klibc or dietlibc (at byte 0, a number longer than "
         "4010 rounds make)\n", no_output},
        {"5: crypt a directory fails before any round",
         [](const scratch &s) {
             mkdir(s.path("g").c_str(), 0755);
             mkdir(s.path("g/crypt").c_str(), 0755);
             s.write("g/flag", "abc");
         },
         {"sh", "-c", "cd g && exec " + sh_quote(gen)}, out_mode::capture, 1, "gen: crypt: Is a directory\n",
         no_output},
        {"6: a dropped padding byte is named", nothing, {ungen, "-t", T}, out_mode::capture, 0,
         "ungen: crypt: " + dropped, restored},
        {"7: an unknown short option is named", nothing, {ungen, "-xf"}, out_mode::capture, 2,
         "ungen: unknown option '-x'\nTry 'ungen --help' for more information.\n", no_output},
        {"7: a flag given an argument", nothing, {ungen, "--keep-zero=1"}, out_mode::capture, 2,
         "ungen: option '--keep-zero' takes no argument\nTry 'ungen --help' for more "
         "information.\n", no_output},
        {"7: a pipe is read without --time", nothing,
         {"sh", "-c", "cat crypt | " + sh_quote(ungen) + " -w 0 /dev/stdin"}, out_mode::capture, 1,
         "ungen: /dev/stdin: no encoding run matches the seconds from *", no_output},
        {"7: an empty output name", nothing, {ungen, "-o", ""}, out_mode::capture, 2,
         "ungen: the output file name is empty\nTry 'ungen --help' for more information.\n",
         no_output},
        {"7: - is standard input", nothing, {"sh", "-c", sh_quote(ungen) + " -t " + T + " - < crypt"},
         out_mode::capture, 0, "ungen: standard input: " + dropped, restored},
        {"7: a time with a space", nothing, {ungen, "-t", " 123"}, out_mode::capture, 2,
         "ungen: invalid time: ' 123'\nTry 'ungen --help' for more information.\n", no_output},
        {"7: a time with a plus", nothing, {ungen, "-t", "+123"}, out_mode::capture, 2,
         "ungen: invalid time: '+123'\nTry 'ungen --help' for more information.\n", no_output},
        {"padding: text of odd length comes back quietly",
         [T](const scratch &s) {
             s.write("flag", "odd!\n");
             run(s.dir, frozen_at(std::stol(T), gen), utc());
         },
         {ungen, "-t", T}, out_mode::capture, 0, "",
         [](const scratch &, const run_result &r) { EXPECT_EQ(r.out, "odd!\n"); }},
        {"padding: -v says it went, and -v with -t gives the date", nothing, {ungen, "-v", "-t", T},
         out_mode::capture, 0,
         "ungen: crypt: second " + T + " (" + utc_stamp(t) + " UTC), 4010 rounds, glibc's rand()\nungen: crypt: " + dropped,
         restored},
        {"filter: a reader that goes away ends ungen as SIGPIPE, with no word of it", nothing,
         {ungen, "-t", T}, out_mode::broken_pipe, 128 + SIGPIPE, "ungen: crypt: " + dropped, nullptr},
        {"filter: -o - is standard output", nothing, {ungen, "-t", T, "-o", "-"}, out_mode::capture, 0,
         "ungen: crypt: " + dropped, [flag](const scratch &s, const run_result &r) {
             EXPECT_TRUE(r.out == flag);
             EXPECT_EQ(s.names().count("-"), 0u);
         }},
        {"12: a device is written into without --force", nothing, {ungen, "-t", T, "-o", "/dev/full"},
         out_mode::capture, 1, "ungen: crypt: " + dropped + "ungen: /dev/full: No space left on device\n",
         no_output},
        {"7: --help that cannot be written fails", nothing,
         {"sh", "-c", sh_quote(ungen) + " --help > /dev/full"}, out_mode::capture, 1,
         "ungen: standard output: No space left on device\n", nullptr},
        {"7: and --version", nothing, {"sh", "-c", sh_quote(ungen) + " --version > /dev/full"},
         out_mode::capture, 1, "ungen: standard output: No space left on device\n", nullptr},
        {"6: a hangup ignored at start stays ignored, as nohup asks", nothing,
         {"sh", "-c", "trap '' HUP; (sleep 1; cat crypt) | " + sh_quote(ungen) + " -t " + T +
                          " - > got & p=$!; sleep 0.3; kill -HUP $p; wait $p"},
         out_mode::capture, 0, "ungen: standard input: " + dropped,
         [flag](const scratch &s, const run_result &) { EXPECT_TRUE(s.read("got") == flag); }},
        {"filter: a window round through 0 says so",
         [](const scratch &s) {
             timespec when[2] = {{3, 0}, {3, 0}};
             utimensat(AT_FDCWD, s.path("crypt").c_str(), when, 0);
         },
         {ungen, "-w", "10"}, out_mode::capture, 1,
         "ungen: crypt: no encoding run matches the seconds from 4294967289 to 3, round through "
         "4294967295 and 0, with the rand() of glibc, musl, msvc, macos, freebsd, freebsd10, netbsd, "
         "newlib, klibc or dietlibc: --unverified decodes its structure without the second\n",
         no_output},
    };
    for (const auto &c : cases)
        run_hostile(c, flag, t);
}

// Runs gen on flag in s at the first second from 1765200000 that gives R
// rounds, and sets the crypt's modification time `later` seconds after it.
long made_at(const scratch &s, const std::string &flag, int R, long later)
{
    long t = second_for_rounds(R, 1765200000);
    s.write("flag", flag);
    EXPECT_EQ(run(s.dir, frozen_at(t, gen), utc()).status, 0);
    timespec when[2] = {{t + later, 0}, {t + later, 0}};
    utimensat(AT_FDCWD, s.path("crypt").c_str(), when, 0);
    return t;
}

TEST(Hostile, NoGuessIsASuccessAndEveryMessageSaysWhatHappened)
{
    const std::string prose = text_bytes(1000, 13);
    std::string flag = random_bytes(301, 9);
    std::string T = std::to_string(second_for_rounds(4010));
    auto nothing = [](const scratch &) {};
    auto no_output = [](const scratch &s, const run_result &r) {
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(s.names().count("out"), 0u);
    };
    auto restored = [flag](const scratch &, const run_result &r) { EXPECT_TRUE(r.out == flag); };
    auto text_day_later = [&](const scratch &s) { made_at(s, prose, 2, 86454); };
    std::string window = std::to_string(1u << 22);
    const hostile_case cases[] = {
        {"1: text read two ways, a day later: listed, status 3", text_day_later,
         {ungen, "-w", window, "-o", "out"}, out_mode::capture, 3,
         "ungen: crypt: ambiguous: 2 different results fit; nothing written\n*", no_output},
        {"1: --rounds picks one", text_day_later, {ungen, "-w", window, "--rounds", "2"},
         out_mode::capture, 0, "", [&](const scratch &, const run_result &r) { EXPECT_TRUE(r.out == prose); }},
        {"1: unverified, several results: listed, status 3",
         [](const scratch &s) { made_at(s, "aabbccde", 100, 0); }, {ungen, "--unverified"},
         out_mode::capture, 3, "ungen: crypt: ambiguous: 3 different results fit; nothing written\n*",
         no_output},
        {"2: a closed standard input is no empty crypt", nothing, {ungen, "-t", "5", "-"},
         out_mode::closed_stdin, 1, "ungen: standard input: Bad file descriptor\n", no_output},
        {"2: nor is /dev/stdin then", nothing, {ungen, "/dev/stdin"}, out_mode::closed_stdin, 1,
         "ungen: /dev/stdin: Bad file descriptor\n", no_output},
        {"3: one pair among 300000 zeros reads 4011 ways, in little memory",
         [](const scratch &s) {
             std::string c;
             for (int i = 0; i < 299999; ++i)
                 c += "0 ";
             s.write("crypt", c + "1 ");
         },
         {ungen, "-w", "0"}, out_mode::capture, 1, "ungen: crypt: no encoding run matches the seconds from *",
         no_output},
        {"4: an output that cannot be made fails before the search",
         [](const scratch &s) { s.write("crypt", "50 -7 "); }, {ungen, "-o", "nodir/out"},
         out_mode::capture, 1, "ungen: nodir/out: No such file or directory\n", no_output},
        {"4: a directory is named as one, without --force too",
         [](const scratch &s) { mkdir(s.path("d").c_str(), 0755); }, {ungen, "-t", T, "-o", "d"},
         out_mode::capture, 1, "ungen: d: Is a directory\n", no_output},
        {"4: and a loop of links as one",
         [](const scratch &s) { EXPECT_EQ(symlink("loop", s.path("loop").c_str()), 0); },
         {ungen, "-t", T, "-o", "loop"}, out_mode::capture, 1,
         "ungen: loop: Too many levels of symbolic links\n", no_output},
        {"7: a tab is the first bad byte",
         [](const scratch &s) {
             std::string c = s.read("crypt");
             c[c.find(' ')] = '\t';
             s.write("crypt", c);
         },
         {ungen, "-t", T}, out_mode::capture, 1, "*", [](const scratch &s, const run_result &r) {
             EXPECT_EQ(r.err, "ungen: crypt: byte " + std::to_string(s.read("crypt").find('\t')) +
                                  ": expected a digit or a space\n");
         }},
        {"7: a crypt cut short says so",
         [](const scratch &s) { s.write("crypt", s.read("crypt").substr(0, 1000)); }, {ungen, "-t", T},
         out_mode::capture, 1,
         "ungen: crypt: byte 1000: the crypt ends inside a number: it may have been cut short\n", no_output},
        {"7: a file that is no crypt says so", [](const scratch &s) { s.write("text", "hello\n"); },
         {ungen, "-t", T, "text"}, out_mode::capture, 1,
         "ungen: text: not a crypt of gen (byte 0: expected a digit or '-')\n", no_output},
        {"7: a newline at the end is taken",
         [](const scratch &s) { s.write("crypt", s.read("crypt") + "\n"); }, {ungen, "--keep-zero", "-t", T},
         out_mode::capture, 0, "", [flag](const scratch &, const run_result &r) { EXPECT_TRUE(r.out == flag + '\0'); }},
        {"7: and a CRLF", [](const scratch &s) { s.write("crypt", s.read("crypt") + "\r\n"); },
         {ungen, "-t", T}, out_mode::capture, 0, "*", restored},
    };
    for (const auto &c : cases)
        run_hostile(c, flag, std::stol(T));
}

TEST(Hostile, TerminatingSignalsLeaveNoTemporaryFile)
{
    for (int sig : {SIGINT, SIGQUIT, SIGUSR1, SIGALRM, SIGXCPU, SIGKILL}) {
        SCOPED_TRACE(strsignal(sig));
        scratch s;
        s.write("flag", random_bytes(20000, 10));
        s.write("crypt", "previous");
        EXPECT_EQ(interrupt_gen(s.dir, sig), 128 + sig);
        EXPECT_TRUE(s.read("crypt") == "previous");
        EXPECT_EQ(s.names(), (std::set<std::string>{"crypt", "flag"}));
    }
}

} // namespace
