#include "structure.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_map>

namespace gen {

namespace {

constexpr long never = LONG_MAX;

// Rounds until a pair with these valuations goes out of parity.
long next_event(int vs, int vd)
{
    if (vs == crypt_numbers::no_bits && vd == crypt_numbers::no_bits)
        return never;
    if (vs == vd)
        return 2L * vs + 1;
    return 2L * std::min(vs, vd);
}

// A lower bound on R from the longest number: a value of D digits is at
// least 10^(D - 1), and every value is below 364 * 2^(R/2).
int least_rounds(uint64_t digits)
{
    if (digits <= 3)
        return 0;
    double r = 2 * ((static_cast<double>(digits) - 1) * 3.321928094887362 - std::log2(364.0)) - 1;
    return r <= 0 ? 0 : static_cast<int>(std::min<double>(r, most_rounds + 1));
}

struct pair_state {
    mpz_t s, d;
    int depth;  // rounds undone
};

} // namespace

flip_list crypt_structure::flips(int R) const
{
    flip_list hits;
    if (count == 0)
        return hits;
    for (int j = 0; j < R; ++j)
        hits.emplace_back(flip(R, j), j);
    std::sort(hits.begin(), hits.end());
    return hits;
}

crypt_structure read_structure(const crypt_numbers &numbers)
{
    crypt_structure out;
    if (numbers.size() > INT_MAX || !numbers.complete())
        return out;
    int n = static_cast<int>(numbers.size());
    out.count = n;
    std::vector<unsigned char> bytes;
    if (n == 0) {
        // Rounds on an empty sequence change nothing: any count will do.
        for (int R = 0; R <= most_rounds; ++R)
            out.readings.push_back({R, {}});
        return out;
    }
    if (n % 2) {
        // The first round pads an odd count: no rounds ran.
        if (decode_pairs(numbers, 0, {}, bytes))
            out.readings.push_back({0, bytes});
        return out;
    }

    auto num = [n](int i) { return static_cast<size_t>(n - 1 - i); };
    // count[t]: pairs that go out of parity t rounds before the end; who[t]
    // is one of them (the only one where it matters).
    std::vector<int> count(most_rounds + 1), who(most_rounds + 1, -1);
    auto schedule = [&](long e, int m) {
        if (e <= most_rounds) {
            ++count[static_cast<size_t>(e)];
            who[static_cast<size_t>(e)] = m;
        }
    };
    for (int m = 0; m < n / 2; ++m)
        schedule(next_event(numbers.valuation(num(2 * m)), numbers.valuation(num(2 * m + 1))), m);

    std::vector<pair_state> states;
    std::unordered_map<int, size_t> state_of;
    mpz_t tmp;
    mpz_init(tmp);
    int least = least_rounds(numbers.longest());
    for (int t = 0; t <= most_rounds; ++t) {
        if (t >= least && decode_pairs(numbers, t, out.flips(t), bytes))
            out.readings.push_back({t, bytes});
        if (t == most_rounds || count[static_cast<size_t>(t)] != 1)
            break;
        int m = who[static_cast<size_t>(t)];
        auto [it, fresh] = state_of.emplace(m, states.size());
        if (fresh) {
            pair_state &p = states.emplace_back();
            mpz_inits(p.s, p.d, nullptr);
            numbers.value(num(2 * m), p.s);
            numbers.value(num(2 * m + 1), p.d);
            p.depth = 0;
        }
        pair_state &p = states[it->second];
        // The valuations promise the pair stays in parity until depth t.
        if (!undo_pair_steps(p.s, p.d, t - p.depth, tmp))
            break;
        flip_low_bit(p.d);
        p.depth = t;
        out.flipped.push_back(m);
        int vs = mpz_sgn(p.s) ? static_cast<int>(mpz_scan1(p.s, 0)) : crypt_numbers::no_bits;
        int vd = mpz_sgn(p.d) ? static_cast<int>(mpz_scan1(p.d, 0)) : crypt_numbers::no_bits;
        long e = next_event(vs, vd);
        schedule(e == never ? never : t + e, m);
    }
    mpz_clear(tmp);
    for (auto &p : states)
        mpz_clears(p.s, p.d, nullptr);
    return out;
}

} // namespace gen
