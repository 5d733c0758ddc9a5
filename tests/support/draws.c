/* Prints, for each seed given, the first 40 rand() draws after srand(seed)
 * on one line: built against a C library, it shows that library's draws. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        srand((unsigned)strtoul(argv[i], NULL, 10));
        for (int k = 0; k < 40; ++k)
            printf("%d%c", rand(), k == 39 ? '\n' : ' ');
    }
    return 0;
}
