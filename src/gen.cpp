// gen: encodes the file "flag" in the working directory into "crypt".
// No unistd.h here: it declares a function named crypt.
#include <cstdlib>
#include <ctime>

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
    install_gmp_memory();

    int n = static_cast<int>(read_input(flag, file, sizeof file));
    cfile = build_elements(file, n);

    srand(static_cast<unsigned>(time(nullptr)));
    int R = draw_rounds();
    run_rounds(cfile, n, R);

    write_crypt(crypt, cfile, n);
    free_elements(cfile, n);
    return 0;
}
