// ungen's command line: its options, their checks and the usage errors.
#pragma once

#include "gen/gen.hpp"

struct options {
    const char *crypt = "crypt";
    const char *output = nullptr;
    bool force = false;
    bool verbose = false;
    bool from_file = false;  // CRYPT is a regular file: the search starts at its time
    gen::restore_options r;
};

// The options of argv; prints --help or --version, or a usage error, and
// exits (0 or 2) where they say so.
options parse_options(int argc, char **argv);
