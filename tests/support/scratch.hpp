// A scratch directory for one test, removed with everything in it.
#pragma once

#include <cstdio>
#include <dirent.h>
#include <ftw.h>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <cstdlib>

struct scratch {
    std::string dir;

    scratch()
    {
        char tmpl[] = "/tmp/gen-test.XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        dir = tmpl;
    }
    ~scratch()
    {
        nftw(
            dir.c_str(), [](const char *p, const struct stat *, int, FTW *) { return remove(p); },
            16, FTW_DEPTH | FTW_PHYS);
    }

    std::string path(const std::string &name) const { return dir + "/" + name; }

    void write(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string read(const std::string &name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The names in the directory, without "." and "..".
    std::set<std::string> names() const
    {
        std::set<std::string> out;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..")
                    out.insert(n);
            }
            closedir(d);
        }
        return out;
    }
};
