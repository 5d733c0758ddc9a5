// libFuzzer target: the crypt reader, the structure decoder and the
// decoder on arbitrary bytes. They must reject or decode, never crash or
// touch memory they do not own, and whatever the structure reads must
// verify.
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "decode.hpp"
#include "numbers.hpp"
#include "scan.hpp"
#include "seconds.hpp"
#include "structure.hpp"

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
        crypt_numbers numbers = read_numbers(fd, max_digits(4010), 8020);
        crypt_structure st = read_structure(numbers);
        // Every reading of the structure decodes to its own bytes.
        for (const auto &r : st.readings)
            if (!decode_pairs(numbers, r.rounds, st.flips(r.rounds), out) || out != r.bytes)
                __builtin_trap();
        for (long t : tries) {
            bool ok = decode_at(numbers, t, out);
            // A run that verifies has its round count among the readings.
            bool listed = false;
            for (const auto &r : st.readings)
                listed |= r.rounds == rounds_at(t) && r.bytes == out;
            if (ok && !listed)
                __builtin_trap();
        }
    } catch (const bad_crypt &) {
    } catch (const read_error &) {
    }
    return 0;
}
