// gen: encodes the file "flag" in the working directory into "crypt".
// No unistd.h here: it declares a function named crypt.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "files.hpp"
#include "gen/gen.hpp"
#include "process.hpp"

char flag[] = "flag";
char crypt[] = "crypt";
unsigned char file[gen::input_limit];
bi *cfile;

namespace {

void check(const char *what, int err)
{
    if (err != 0)
        die_errno(what, err);
}

// A failed progress line is no reason to lose the run.
void progress(int j, int R) { printf("%d/%d\n", j, R); }

} // namespace

int main()
{
    start_program("gen");

    input in = read_input(flag, file, sizeof file);
    check(flag, in.err);
    if (in.truncated)
        warn(flag, "only the first " + std::to_string(sizeof file) + " bytes are encoded");
    int n = static_cast<int>(in.size);
    // Fails here, before any work, if "crypt" cannot be written; like
    // fopen, not when it is a file we may not write.
    out_file out(crypt, out_options{true, true});
    check(crypt, out.error());
    gen::write_fn write = [&](const char *p, size_t len) { return out.write(p, len); };

    srand(static_cast<unsigned>(time(nullptr)));
    int R = gen::draw_rounds();
    if (gen::prefer_whole_run(n, R)) {
        check(crypt, gen::encode_rounds(file, n, R, write, progress));
    } else {
        cfile = gen::build_elements(file, n);
        if (cfile == nullptr)
            die_oom();
        for (int j = 0; j < R; ++j) {
            progress(j, R);
            gen::scramble(cfile, n);
        }
        check(crypt, gen::write_elements(cfile, n, write));
        gen::free_elements(cfile, n);
    }
    check(crypt, out.commit());
    warn_if_unsynced(crypt, out);
    return 0;
}
