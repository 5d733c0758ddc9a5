// Runs a built program in a directory and captures what it prints.
#pragma once

#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "scratch.hpp"
#include "seconds.hpp"

// Standard output captured, closed or a pipe nobody reads; closed_stdin
// captures it, with standard input closed.
enum class out_mode { capture, closed, broken_pipe, closed_stdin };

struct run_opts {
    std::vector<std::pair<std::string, std::string>> env;
    out_mode out = out_mode::capture;
    rlim_t address_space = 0;  // 0: no limit
    std::string input;         // written to standard input
    bool close_stdin = false;  // standard input closed instead
    uid_t uid = 0;             // 0: as we are; else run as this user (we are root)
};

struct run_result {
    int status;  // exit status, or 128 + signal
    std::string out, err;
};

inline run_result run(const std::string &dir, const std::vector<std::string> &argv,
                      const run_opts &o = {})
{
    scratch cap;
    std::string outp = cap.path("out"), errp = cap.path("err"), inp = cap.path("in");
    cap.write("in", o.input);
    int pipefd[2] = {-1, -1};
    if (o.out == out_mode::broken_pipe) {
        if (pipe(pipefd) != 0)
            return {-1, "", "pipe failed"};
        close(pipefd[0]);
    }
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        for (const auto &[k, v] : o.env)
            setenv(k.c_str(), v.c_str(), 1);
        int in = open(inp.c_str(), O_RDONLY);
        dup2(in, 0);
        int err = open(errp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        if (o.out == out_mode::capture)
            dup2(open(outp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        else if (o.out == out_mode::broken_pipe)
            dup2(pipefd[1], 1);
        else
            close(1);
        for (int fd = 3; fd < 64; ++fd)
            close(fd);
        if (o.close_stdin)
            close(0);
        if (o.uid != 0 && (setgroups(0, nullptr) != 0 || setgid(o.uid) != 0 || setuid(o.uid) != 0))
            _exit(125);
        if (o.address_space) {
            rlimit lim{o.address_space, o.address_space};
            setrlimit(RLIMIT_AS, &lim);
        }
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pipefd[1] >= 0)
        close(pipefd[1]);
    int st = 0;
    waitpid(pid, &st, 0);
    int status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return {status, cap.read("out"), cap.read("err")};
}

// A copy of the program at path that any user can run, for runs as
// another user: the build may lie in a folder only its owner can reach (a
// private clone, or a umask of 077). Made once per program.
inline std::string for_anyone(const std::string &path)
{
    static scratch bin;
    static std::map<std::string, std::string> copies;
    auto it = copies.find(path);
    if (it != copies.end())
        return it->second;
    chmod(bin.dir.c_str(), 0755);
    std::string to = bin.path(path.substr(path.rfind('/') + 1));
    std::ifstream in(path, std::ios::binary);
    std::ofstream(to, std::ios::binary) << in.rdbuf();
    chmod(to.c_str(), 0755);
    return copies[path] = to;
}

// A library to preload: a copy at a path without spaces, as LD_PRELOAD
// splits its value at them (and any user can read it).
inline std::string preload(const std::string &path) { return for_anyone(path); }

// path quoted for sh -c, whatever it holds.
inline std::string sh_quote(const std::string &path)
{
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Options that make faketime read its stamps in UTC.
inline run_opts utc()
{
    run_opts o;
    o.env = {{"TZ", "UTC"}};
    return o;
}

// The command that runs `program` with the clock frozen at second t.
inline std::vector<std::string> frozen_at(long t, const std::string &program)
{
    return {"faketime", "-f", utc_stamp(t), program};
}
