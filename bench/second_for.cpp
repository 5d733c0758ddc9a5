// Prints, as "YYYY-MM-DD hh:mm:ss" in UTC, the first second from now (or
// from the second given) at which gen would draw R rounds.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "seconds.hpp"

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: second_for ROUNDS [FROM]\n");
        return 2;
    }
    int R = atoi(argv[1]);
    if (R < 0 || R > 4010) {
        fprintf(stderr, "second_for: ROUNDS must lie from 0 to 4010\n");
        return 2;
    }
    long from = argc == 3 ? atol(argv[2]) : static_cast<long>(time(nullptr));
    printf("%s\n", utc_stamp(second_for_rounds(R, from)).c_str());
    return 0;
}
