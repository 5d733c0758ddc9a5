#include "process.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <new>
#include <gmp.h>
#include <sys/stat.h>
#include <unistd.h>

const char *progname = "gen";

static const char *volatile pending_output = nullptr;

void set_pending_output(const char *path) { pending_output = path; }

static void drop_pending_output()
{
    const char *p = pending_output;
    if (p != nullptr) {
        pending_output = nullptr;
        unlink(p);
    }
}

void warn(const char *what, const char *reason)
{
    fprintf(stderr, "%s: %s: %s\n", progname, what, reason);
}

void die(const char *what, const char *reason)
{
    drop_pending_output();
    warn(what, reason);
    exit(1);
}

void die_errno(const char *what, int err) { die(what, strerror(err)); }

void die_oom()
{
    drop_pending_output();
    fprintf(stderr, "%s: out of memory\n", progname);
    exit(1);
}

static void *gmp_alloc(size_t size)
{
    void *p = malloc(size);
    if (p == nullptr)
        die_oom();
    return p;
}

static void *gmp_realloc(void *old, size_t, size_t size)
{
    void *p = realloc(old, size);
    if (p == nullptr)
        die_oom();
    return p;
}

static void gmp_free(void *p, size_t) { free(p); }

void install_memory_handlers()
{
    mp_set_memory_functions(gmp_alloc, gmp_realloc, gmp_free);
    std::set_new_handler(die_oom);
}

// What erases a progress line on the terminal, written when a signal ends
// the process: from a handler, so a fixed buffer and write().
static char line_eraser[1024];
static volatile sig_atomic_t line_eraser_len = 0;

void set_line_to_erase(const char *seq)
{
    line_eraser_len = 0;
    if (seq == nullptr)
        return;
    size_t n = std::min(strlen(seq), sizeof line_eraser);
    memcpy(line_eraser, seq, n);
    line_eraser_len = static_cast<sig_atomic_t>(n);
}

static void on_fatal_signal(int sig)
{
    if (line_eraser_len > 0 && write(2, line_eraser, static_cast<size_t>(line_eraser_len)) < 0) {
        // Nothing to be done about it now.
    }
    drop_pending_output();
    signal(sig, SIG_DFL);
    raise(sig);
}

void die_of_signal(int sig)
{
    on_fatal_signal(sig);
    // Blocked, say: the status says it all the same.
    _exit(128 + sig);
}

static bool closed_at_start[3];

bool was_closed_at_start(int fd) { return fd >= 0 && fd <= 2 && closed_at_start[fd]; }

// What stands in for a closed standard input: a pipe nobody writes to,
// which no path but /dev/stdin and its like leads to.
static struct stat stdin_stand_in;

bool is_closed_stdin(int fd)
{
    struct stat st;
    return closed_at_start[0] && fstat(fd, &st) == 0 && st.st_dev == stdin_stand_in.st_dev &&
           st.st_ino == stdin_stand_in.st_ino;
}

void setup_process()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closed_at_start[fd] = true;
            // pipe() and open() take the lowest free descriptor, which is fd.
            int p[2];
            if (fd == 0) {
                if (pipe(p) != 0 || p[0] != 0)
                    die_errno("pipe", errno);
                close(p[1]);
                fstat(0, &stdin_stand_in);
            } else if (open("/dev/null", O_RDWR) != fd) {
                die_errno("/dev/null", errno);
            }
        }
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    // Every signal whose default action ends the process, so that none
    // leaves a named temporary file behind; but one ignored at start
    // stays ignored, as nohup and a background job of a shell ask.
    auto catch_signal = [](int sig) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            return;
        signal(sig, on_fatal_signal);
    };
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1,
                    SIGSEGV, SIGUSR2, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF,
                    SIGIO, SIGPWR, SIGSYS})
        catch_signal(sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        catch_signal(sig);
}

void start_program(const char *name)
{
    progname = name;
    setup_process();
    install_memory_handlers();
}
