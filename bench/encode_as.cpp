// Writes to CRYPT the crypt that gen built with C library LIBC's rand()
// writes for the bytes on standard input at SECOND.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "gen/gen.hpp"

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: encode_as LIBC SECOND CRYPT < FLAG\n");
        return 2;
    }
    std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    auto crypt = gen::encode(reinterpret_cast<const unsigned char *>(in.data()), in.size(),
                             static_cast<uint32_t>(strtoul(argv[2], nullptr, 10)), argv[1]);
    if (!crypt) {
        fprintf(stderr, "encode_as: no C library named %s\n", argv[1]);
        return 2;
    }
    FILE *f = fopen(argv[3], "w");
    if (!f || fwrite(crypt->data(), 1, crypt->size(), f) != crypt->size() || fclose(f) != 0) {
        perror(argv[3]);
        return 1;
    }
    return 0;
}
