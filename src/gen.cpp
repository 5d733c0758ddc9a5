// gen: encodes the file "flag" in the working directory into "crypt".
// No unistd.h here: it declares a function named crypt.
#include <cstdlib>
#include <ctime>

#include "batch.hpp"
#include "encode.hpp"
#include "fail.hpp"
#include "files.hpp"

char flag[] = "flag";
char crypt[] = "crypt";
unsigned char file[input_limit];
bi *cfile;

int main()
{
    setup_process();
    install_memory_handlers();

    int n = static_cast<int>(read_input(flag, file, sizeof file));
    // Fails here, before any work, if "crypt" cannot be written.
    out_file out(crypt, 4 << 20);

    srand(static_cast<unsigned>(time(nullptr)));
    int R = draw_rounds();
    if (prefer_batched(n, R)) {
        encode_batched(file, n, R, out);
        return 0;
    }

    cfile = build_elements(file, n);
    run_rounds(cfile, n, R);
    write_crypt(out, cfile, n);
    free_elements(cfile, n);
    return 0;
}
