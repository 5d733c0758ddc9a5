#include "decode.hpp"

#include <climits>

namespace gen {

namespace {

bool is_byte(long v) { return v >= 0 && v <= 255; }

struct scratch_values {
    mpz_t s, d, tmp;
    scratch_values() { mpz_inits(s, d, tmp, nullptr); }
    ~scratch_values() { mpz_clears(s, d, tmp, nullptr); }
};

} // namespace

bool put_byte(std::vector<unsigned char> &out, int i, long v, decode_mode mode)
{
    if (!is_byte(v))
        return false;
    auto b = static_cast<unsigned char>(v);
    if (mode == decode_mode::compare)
        return out[static_cast<size_t>(i)] == b;
    out[static_cast<size_t>(i)] = b;
    return true;
}

int rounds_at(const family &f, uint32_t t) { return authority_draws(f, t)->next() % round_modulus; }

namespace {

// Element i is number n - 1 - i: the crypt holds the elements last first.
size_t number_of(const crypt_numbers &numbers, int i)
{
    return numbers.size() - 1 - static_cast<size_t>(i);
}

// A run of no rounds: every number is a byte (but for pairs of zeros,
// which fill and compare skip).
bool decode_unrounded(const crypt_numbers &numbers, std::vector<unsigned char> &out, decode_mode mode)
{
    auto one = [&](int i) {
        long v;
        return numbers.scaled(number_of(numbers, i), 0, v) && put_byte(out, i, v, mode);
    };
    int n = static_cast<int>(numbers.size());
    if (n % 2 || mode == decode_mode::write) {
        for (int i = 0; i < n; ++i)
            if (!one(i))
                return false;
        return true;
    }
    const size_t pairs = numbers.size() / 2;
    for (size_t m = numbers.next_nonzero_pair(0); m < pairs; m = numbers.next_nonzero_pair(m + 1))
        if (!one(static_cast<int>(2 * m)) || !one(static_cast<int>(2 * m + 1)))
            return false;
    return true;
}

// The pairs that hits flips, undone flip by flip from the last round.
bool decode_flipped(const crypt_numbers &numbers, int R, const flip_list &hits,
                    std::vector<unsigned char> &out, decode_mode mode)
{
    scratch_values z;
    for (auto hit = hits.begin(); hit != hits.end();) {
        int m = hit->first;
        auto first = hit;
        while (hit != hits.end() && hit->first == m)
            ++hit;
        numbers.value(number_of(numbers, 2 * m), z.s);
        numbers.value(number_of(numbers, 2 * m + 1), z.d);
        int done = R;  // the pair steps of rounds 0 .. done - 1 are not undone yet
        for (auto k = hit; k != first;) {
            int j = (--k)->second;
            if (!undo_pair_steps(z.s, z.d, done - (j + 1), z.tmp))
                return false;
            flip_low_bit(z.d);
            done = j + 1;
        }
        if (!undo_pair_steps(z.s, z.d, done, z.tmp) || !put_pair(out, m, z.s, z.d, mode))
            return false;
    }
    return true;
}

} // namespace

bool put_pair(std::vector<unsigned char> &out, int m, const mpz_t s, const mpz_t d, decode_mode mode)
{
    return mpz_fits_slong_p(s) && mpz_fits_slong_p(d) && put_byte(out, 2 * m, mpz_get_si(s), mode) &&
           put_byte(out, 2 * m + 1, mpz_get_si(d), mode);
}

bool decode_pairs(const crypt_numbers &numbers, int R, const flip_list &hits,
                  std::vector<unsigned char> &out, decode_mode mode)
{
    if (numbers.size() > INT_MAX || (R > 0 && numbers.size() % 2) || !numbers.complete())
        return false;
    if (mode == decode_mode::write)
        out.assign(numbers.size(), 0);
    else if (out.size() != numbers.size())
        return false;
    if (R == 0)
        return decode_unrounded(numbers, out, mode);
    // The flipped pairs first: a wrong schedule fails there soonest.
    if (!decode_flipped(numbers, R, hits, out, mode))
        return false;
    std::vector<int> flipped;
    for (const auto &x : hits)
        if (flipped.empty() || flipped.back() != x.first)
            flipped.push_back(x.first);
    return decode_unflipped(numbers, R, flipped, out, mode);
}

bool decode_unflipped(const crypt_numbers &numbers, int R, const std::vector<int> &flipped,
                      std::vector<unsigned char> &out, decode_mode mode)
{
    // An unflipped pair ends as 2^(R/2) (a, b), or 2^(R/2) (a + b, a - b)
    // after an odd number of rounds; one of two zeros is zeros at every
    // depth, and out holds them already.
    int h = R / 2;
    auto next = flipped.begin();
    const size_t pairs = numbers.size() / 2;
    for (size_t pm = numbers.next_nonzero_pair(0); pm < pairs; pm = numbers.next_nonzero_pair(pm + 1)) {
        int m = static_cast<int>(pm);
        while (next != flipped.end() && *next < m)
            ++next;
        if (next != flipped.end() && *next == m)
            continue;
        long cs, cd, a, b;
        if (!numbers.scaled(number_of(numbers, 2 * m), h, cs) ||
            !numbers.scaled(number_of(numbers, 2 * m + 1), h, cd))
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
        if (!put_byte(out, 2 * m, a, mode) || !put_byte(out, 2 * m + 1, b, mode))
            return false;
    }
    return true;
}

bool decode_at(const crypt_numbers &numbers, const family &f, uint32_t t,
               std::vector<unsigned char> &out, decode_mode mode)
{
    if (numbers.size() > INT_MAX)
        return false;
    std::unique_ptr<draw_source> draws = authority_draws(f, t);
    int R = draws->next() % round_modulus;
    return decode_pairs(numbers, R,
                        draw_flips(static_cast<int>(numbers.size()), R, [&] { return draws->next(); }),
                        out, mode);
}

bool drop_padding(std::vector<unsigned char> &bytes, int R, bool keep_zero)
{
    if (keep_zero || R == 0 || bytes.empty() || bytes.back() != 0)
        return false;
    bytes.pop_back();
    return true;
}

} // namespace gen
