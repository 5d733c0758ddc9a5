#include "decode.hpp"

#include <climits>
#include <cstdlib>

namespace gen {

namespace {

bool is_byte(long v) { return v >= 0 && v <= 255; }

struct scratch_values {
    mpz_t s, d, tmp;
    scratch_values() { mpz_inits(s, d, tmp, nullptr); }
    ~scratch_values() { mpz_clears(s, d, tmp, nullptr); }
};

} // namespace

int rounds_at(uint32_t t)
{
    srand(t);
    return draw_rounds();
}

bool decode_pairs(const crypt_numbers &numbers, int R, const flip_list &hits,
                  std::vector<unsigned char> &out)
{
    if (numbers.size() > INT_MAX || (R > 0 && numbers.size() % 2) || !numbers.complete())
        return false;
    int n = static_cast<int>(numbers.size());
    out.assign(static_cast<size_t>(n), 0);
    // Element i is number n - 1 - i: the crypt holds the elements last first.
    auto num = [n](int i) { return static_cast<size_t>(n - 1 - i); };
    if (R == 0) {
        for (int i = 0; i < n; ++i) {
            long v;
            if (!numbers.scaled(num(i), 0, v) || !is_byte(v))
                return false;
            out[i] = static_cast<unsigned char>(v);
        }
        return true;
    }

    // The flipped pairs first: a wrong schedule fails there soonest.
    scratch_values z;
    for (auto hit = hits.begin(); hit != hits.end();) {
        int m = hit->first;
        auto first = hit;
        while (hit != hits.end() && hit->first == m)
            ++hit;
        numbers.value(num(2 * m), z.s);
        numbers.value(num(2 * m + 1), z.d);
        int done = R;  // the pair steps of rounds 0 .. done - 1 are not undone yet
        for (auto k = hit; k != first;) {
            int j = (--k)->second;
            if (!undo_pair_steps(z.s, z.d, done - (j + 1), z.tmp))
                return false;
            flip_low_bit(z.d);
            done = j + 1;
        }
        if (!undo_pair_steps(z.s, z.d, done, z.tmp) || !mpz_fits_slong_p(z.s) ||
            !mpz_fits_slong_p(z.d))
            return false;
        long a = mpz_get_si(z.s), b = mpz_get_si(z.d);
        if (!is_byte(a) || !is_byte(b))
            return false;
        out[2 * m] = static_cast<unsigned char>(a);
        out[2 * m + 1] = static_cast<unsigned char>(b);
    }

    // An unflipped pair ends as 2^(R/2) (a, b), or 2^(R/2) (a + b, a - b)
    // after an odd number of rounds.
    int h = R / 2;
    auto hit = hits.begin();
    for (int m = 0; m < n / 2; ++m) {
        if (hit != hits.end() && hit->first == m) {
            while (hit != hits.end() && hit->first == m)
                ++hit;
            continue;
        }
        long cs, cd, a, b;
        if (!numbers.scaled(num(2 * m), h, cs) || !numbers.scaled(num(2 * m + 1), h, cd))
            return false;
        if (R % 2 == 0) {
            a = cs;
            b = cd;
        } else {
            if ((cs + cd) % 2 != 0)
                return false;
            a = (cs + cd) / 2;
            b = (cs - cd) / 2;
        }
        if (!is_byte(a) || !is_byte(b))
            return false;
        out[2 * m] = static_cast<unsigned char>(a);
        out[2 * m + 1] = static_cast<unsigned char>(b);
    }
    return true;
}

bool decode_at(const crypt_numbers &numbers, uint32_t t, std::vector<unsigned char> &out)
{
    int R = rounds_at(t);
    if (numbers.size() > INT_MAX)
        return false;
    return decode_pairs(numbers, R, draw_flips(static_cast<int>(numbers.size()), R), out);
}

bool drop_padding(std::vector<unsigned char> &bytes, int R, bool keep_zero)
{
    if (keep_zero || R == 0 || bytes.empty() || bytes.back() != 0)
        return false;
    bytes.pop_back();
    return true;
}

} // namespace gen
