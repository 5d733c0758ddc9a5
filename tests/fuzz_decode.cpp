// libFuzzer target: the crypt reader and the decoder on arbitrary bytes.
// They must reject or decode, never crash or touch memory they do not own.
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "decode.hpp"
#include "scan.hpp"
#include "seconds.hpp"

namespace {

// Seconds whose runs have 0, 1, 2, 3, 5 and 4010 rounds; the seed corpus
// holds crypts made at these seconds (see the Makefile).
std::vector<long> seconds()
{
    std::vector<long> s;
    for (int R : {0, 1, 2, 3, 5, 4010})
        s.push_back(second_for_rounds(R));
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::vector<long> tries = seconds();
    static const int fd = memfd_create("crypt", 0);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    std::vector<unsigned char> out;
    try {
        lseek(fd, 0, SEEK_SET);
        crypt_summary s = summarize(fd);
        for (long t : tries) {
            bool maybe = may_match(s, t);
            lseek(fd, 0, SEEK_SET);
            bool ok = decode_at(fd, t, size % 2 == 0, out);
            // The filter may pass wrong seconds but never a right one.
            if (ok && !maybe)
                __builtin_trap();
        }
    } catch (const bad_crypt &) {
    } catch (const read_error &) {
    }
    return 0;
}
