// libFuzzer target: the crypt reader, the structure decoder and the
// decoder on arbitrary bytes. They must reject or decode, never crash or
// touch memory they do not own, and whatever the structure reads must
// verify.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "decode.hpp"
#include "numbers.hpp"
#include "scan.hpp"
#include "seconds.hpp"
#include "structure.hpp"

namespace {

using namespace gen;

// Seconds whose runs have 0, 1, 2, 3, 5 and 4010 rounds; the seed corpus
// holds crypts made at these seconds (see the Makefile).
std::vector<uint32_t> seconds()
{
    std::vector<uint32_t> s;
    for (int R : {0, 1, 2, 3, 5, 4010})
        s.push_back(static_cast<uint32_t>(second_for_rounds(R)));
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::vector<uint32_t> tries = seconds();
    std::vector<unsigned char> out;
    token_reader in(std::string_view(reinterpret_cast<const char *>(data), size),
                    max_digits(most_rounds) + 1);
    crypt_numbers numbers;
    if (!read_numbers(in, max_digits(most_rounds), 2 * most_rounds, numbers)) {
        crypt_structure st = read_structure(numbers);
        // Every reading decodes, to the same bytes as the others of its
        // result and to other bytes than those of the other results.
        std::vector<std::vector<unsigned char>> results(st.results.size());
        for (const auto &r : st.readings) {
            if (!decode_reading(numbers, st, r.rounds, out))
                __builtin_trap();
            auto &mine = results[static_cast<size_t>(r.result)];
            if (mine.empty() && st.results[static_cast<size_t>(r.result)].rounds == r.rounds)
                mine = out;
            if (out != mine)
                __builtin_trap();
        }
        // Results with the same bytes differ in what they write: one of no
        // rounds keeps a final 0 that the other drops as the padding.
        for (size_t a = 0; a < results.size(); ++a)
            for (size_t b = a + 1; b < results.size(); ++b)
                if (results[a] == results[b] &&
                    (results[a].empty() || results[a].back() != 0 ||
                     (st.results[a].rounds == 0) == (st.results[b].rounds == 0)))
                    __builtin_trap();
        for (uint32_t t : tries) {
            bool ok = decode_at(numbers, glibc_family(), t, out);
            // A run that verifies has its round count among the readings.
            bool listed = false;
            for (const auto &r : st.readings)
                listed |= r.rounds == rounds_at(glibc_family(), t) && results[static_cast<size_t>(r.result)] == out;
            if (ok && !listed)
                __builtin_trap();
        }
    }
    return 0;
}
