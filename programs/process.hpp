// The process around gen and ungen: messages ("PROGRAM: WHAT: REASON" on
// standard error, exit status 1), signals, descriptors 0 to 2, and what
// happens when memory runs out.
#pragma once

#include <string>

// Name printed before every message; each program sets its own.
extern const char *progname;

// Prints "PROGRAM: what: reason" and exits with status 1, removing the
// output file in progress first, if any.
[[noreturn]] void die(const char *what, const char *reason);

// die() with strerror(err) as the reason.
[[noreturn]] void die_errno(const char *what, int err);

// What to write to standard error, to erase a progress line, if a signal
// ends the process (nullptr: nothing). Copied.
void set_line_to_erase(const char *seq);

// Ends the process by sig, with its default action, quietly, as if it had
// not been ignored or caught.
[[noreturn]] void die_of_signal(int sig);

// Prints "PROGRAM: out of memory" and exits with status 1.
[[noreturn]] void die_oom();

// Prints "PROGRAM: what: reason" and carries on.
void warn(const char *what, const char *reason);
inline void warn(const std::string &what, const std::string &reason)
{
    warn(what.c_str(), reason.c_str());
}
inline void die(const std::string &what, const std::string &reason)
{
    die(what.c_str(), reason.c_str());
}

// Makes GMP and operator new report an exhausted heap through die_oom()
// instead of aborting.
void install_memory_handlers();

// Remembers the temporary file that die() and fatal signals must remove
// (nullptr: none). The string must stay valid while it is registered.
void set_pending_output(const char *path);

// Ignores SIGPIPE and SIGXFSZ so that failed writes come back as errors,
// removes a pending output (and erases a progress line) on every signal
// that ends the process, and makes sure descriptors 0 to 2 are open, so
// that no file we open lands on them: 0 on an empty pipe, 1 and 2 on
// /dev/null.
void setup_process();

// Whether descriptor fd (0 to 2) was closed when setup_process() ran.
bool was_closed_at_start(int fd);

// Whether fd reads what stands in for a standard input that was closed at
// start (descriptor 0 itself, or /dev/stdin opened again).
bool is_closed_stdin(int fd);

// What every program does first: names itself in messages, then
// setup_process() and install_memory_handlers().
void start_program(const char *name);
