#include "batch.hpp"

#include <string>
#include <utility>
#include <vector>

#include "files.hpp"
#include "pairs.hpp"

namespace {

struct pair_values {
    int pair;
    mpz_t s, d;
};

// The final values of every pair that some round flips, by pair index.
std::vector<pair_values> evaluate_flipped(const unsigned char *bytes, int n0,
                                           const std::vector<std::pair<int, int>> &hits, int R)
{
    std::vector<pair_values> out;
    mpz_t tmp;
    mpz_init(tmp);
    for (size_t h = 0; h < hits.size();) {
        int m = hits[h].first;
        pair_values &p = out.emplace_back();
        p.pair = m;
        mpz_init_set_ui(p.s, bytes[2 * m]);
        mpz_init_set_ui(p.d, 2 * m + 1 < n0 ? bytes[2 * m + 1] : 0);
        int done = 0;  // rounds applied so far
        for (; h < hits.size() && hits[h].first == m; ++h) {
            int j = hits[h].second;
            pair_steps(p.s, p.d, j + 1 - done, tmp);
            flip_low_bit(p.d);
            done = j + 1;
        }
        pair_steps(p.s, p.d, R - done, tmp);
    }
    mpz_clear(tmp);
    return out;
}

} // namespace

void encode_batched(const unsigned char *bytes, int n0, int R, out_file &out)
{
    // The first round pads an odd sequence with a 0.
    int n = R > 0 && n0 % 2 ? n0 + 1 : n0;
    std::vector<pair_values> flipped = evaluate_flipped(bytes, n0, flip_schedule(n, R, true), R);

    // An unflipped pair (a, b) ends as 2^(R/2) (a, b) after an even number
    // of rounds and as 2^(R/2) (a + b, a - b) after an odd one.
    scaled_texts texts(R / 2);
    auto byte = [&](int i) { return i < n0 ? static_cast<int>(bytes[i]) : 0; };

    auto next_flipped = flipped.rbegin();
    for (int i = n - 1; i >= 0; --i) {
        int m = i / 2;
        if (next_flipped != flipped.rend() && next_flipped->pair == m) {
            put_number(out, i % 2 ? next_flipped->d : next_flipped->s);
            if (i % 2 == 0)
                ++next_flipped;
            continue;
        }
        int c;
        if (R % 2 == 0)
            c = byte(i);
        else if (i % 2)
            c = byte(i - 1) - byte(i);
        else
            c = byte(i) + byte(i + 1);
        const std::string &t = texts[c];
        out.put(t.data(), t.size());
    }
    out.commit();

    for (auto &p : flipped) {
        mpz_clear(p.s);
        mpz_clear(p.d);
    }
}

void encode_batched(const unsigned char *bytes, int n, int R, const char *path)
{
    out_file out(path, 4 << 20);
    encode_batched(bytes, n, R, out);
}
