#include "structure.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
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

bool decode_reading_as(const crypt_numbers &numbers, const crypt_structure &st, int R,
                       std::vector<unsigned char> &bytes, decode_mode mode)
{
    return decode_pairs(numbers, R, st.flips(R), bytes, mode);
}

// A hash of the bytes of the pairs that are not two zeros (the others are
// 0 in every reading), to tell results apart quickly; equal hashes are then
// compared byte for byte.
uint64_t fingerprint(const crypt_numbers &numbers, const std::vector<unsigned char> &bytes)
{
    uint64_t h = 0x9E3779B97F4A7C15ull;
    const size_t pairs = bytes.size() / 2;
    for (size_t m = numbers.next_nonzero_pair(0); m < pairs; m = numbers.next_nonzero_pair(m + 1)) {
        h = (h ^ (m << 16 | size_t{bytes[2 * m]} << 8 | bytes[2 * m + 1])) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h;
}

// Adds the reading of depth R, whose bytes are in bytes, to its result:
// one already read that writes the same bytes, or a new one.
void add_reading(const crypt_numbers &numbers, crypt_structure &st, int R,
                 std::vector<unsigned char> &bytes, std::vector<uint64_t> &prints, bool keep_zero)
{
    uint64_t f = bytes.size() % 2 ? 0 : fingerprint(numbers, bytes);
    bool zero = !bytes.empty() && bytes.back() == 0;
    // Only a reading of some rounds drops a final 0.
    auto writes_alike = [&](const crypt_structure::result &x) {
        return !zero || keep_zero || (x.rounds == 0) == (R == 0);
    };
    for (size_t r = 0; r < st.results.size(); ++r)
        if (prints[r] == f && writes_alike(st.results[r]) &&
            decode_reading_as(numbers, st, st.results[r].rounds, bytes, decode_mode::compare)) {
            st.readings.push_back({R, static_cast<int>(r)});
            return;
        }
    size_t n = bytes.size();
    st.results.push_back({R, looks_like_text(bytes.data(), zero ? n - 1 : n), zero});
    prints.push_back(f);
    st.readings.push_back({R, static_cast<int>(st.results.size() - 1)});
}

} // namespace

bool looks_like_text(const unsigned char *b, size_t n)
{
    for (size_t i = 0; i < n;) {
        unsigned char c = b[i];
        if (c < 0x80) {
            if ((c < 0x20 && (c < 0x09 || c > 0x0D)) || c == 0x7F)
                return false;
            ++i;
            continue;
        }
        // A lead byte and its continuation bytes, no overlong forms.
        size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (len == 0 || i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((b[i + k] & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

bool decode_reading(const crypt_numbers &numbers, const crypt_structure &st, int R,
                    std::vector<unsigned char> &out)
{
    return decode_pairs(numbers, R, st.flips(R), out);
}

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

namespace {

// Undoes a crypt's rounds from the end, flip by flip. Between flips a pair
// only doubles, so only the pairs flipped so far are kept whole, each
// undone as far as its last flip; the others are read from their
// valuations.
class unwinder {
public:
    explicit unwinder(const crypt_numbers &numbers);
    ~unwinder();
    unwinder(const unwinder &) = delete;
    unwinder &operator=(const unwinder &) = delete;

    // Whether depth t (rounds undone) is all bytes: they go into bytes,
    // which holds 0 for every pair of zeros already.
    bool bytes_at(int t, std::vector<unsigned char> &bytes);
    // Undoes the flip t rounds before the end: false where not exactly one
    // pair is out of parity there, or that pair does not undo. m: the pair.
    bool undo_flip(int t, int &m);

private:
    struct state {
        int pair;
        mpz_t s, d;
        int depth;  // rounds undone
    };
    size_t num(int i) const { return static_cast<size_t>(n_ - 1 - i); }
    void schedule(long e, int m);

    const crypt_numbers &numbers_;
    int n_;
    // count_[t]: pairs that go out of parity t rounds before the end; who_[t]
    // is one of them (the only one where it matters).
    std::vector<int> count_, who_;
    std::vector<state> states_;
    std::unordered_map<int, size_t> state_of_;
    std::vector<int> flipped_;  // the pairs of states_, sorted
    mpz_t s_, d_, tmp_;
};

unwinder::unwinder(const crypt_numbers &numbers)
    : numbers_(numbers), n_(static_cast<int>(numbers.size())), count_(most_rounds + 1),
      who_(most_rounds + 1, -1)
{
    mpz_inits(s_, d_, tmp_, nullptr);
    for (int m = 0; m < n_ / 2; ++m)
        schedule(next_event(numbers.valuation(num(2 * m)), numbers.valuation(num(2 * m + 1))), m);
}

unwinder::~unwinder()
{
    for (auto &p : states_)
        mpz_clears(p.s, p.d, nullptr);
    mpz_clears(s_, d_, tmp_, nullptr);
}

void unwinder::schedule(long e, int m)
{
    if (e <= most_rounds) {
        ++count_[static_cast<size_t>(e)];
        who_[static_cast<size_t>(e)] = m;
    }
}

bool unwinder::bytes_at(int t, std::vector<unsigned char> &bytes)
{
    if (t == 0)
        return decode_pairs(numbers_, 0, {}, bytes, decode_mode::fill);
    for (const auto &p : states_) {
        mpz_set(s_, p.s);
        mpz_set(d_, p.d);
        if (!undo_pair_steps(s_, d_, t - p.depth, tmp_) ||
            !put_pair(bytes, p.pair, s_, d_, decode_mode::fill))
            return false;
    }
    return decode_unflipped(numbers_, t, flipped_, bytes, decode_mode::fill);
}

bool unwinder::undo_flip(int t, int &m)
{
    if (count_[static_cast<size_t>(t)] != 1)
        return false;
    m = who_[static_cast<size_t>(t)];
    auto [it, fresh] = state_of_.emplace(m, states_.size());
    if (fresh) {
        state &p = states_.emplace_back();
        p.pair = m;
        mpz_inits(p.s, p.d, nullptr);
        numbers_.value(num(2 * m), p.s);
        numbers_.value(num(2 * m + 1), p.d);
        p.depth = 0;
        flipped_.insert(std::lower_bound(flipped_.begin(), flipped_.end(), m), m);
    }
    state &p = states_[it->second];
    // The valuations promise the pair stays in parity until depth t.
    if (!undo_pair_steps(p.s, p.d, t - p.depth, tmp_))
        return false;
    flip_low_bit(p.d);
    p.depth = t;
    int vs = mpz_sgn(p.s) ? static_cast<int>(mpz_scan1(p.s, 0)) : crypt_numbers::no_bits;
    int vd = mpz_sgn(p.d) ? static_cast<int>(mpz_scan1(p.d, 0)) : crypt_numbers::no_bits;
    long e = next_event(vs, vd);
    schedule(e == never ? never : t + e, m);
    return true;
}

} // namespace

crypt_structure read_structure(const crypt_numbers &numbers, bool keep_zero)
{
    crypt_structure out;
    if (numbers.size() > INT_MAX || !numbers.complete())
        return out;
    int n = static_cast<int>(numbers.size());
    out.count = n;
    if (n == 0) {
        // Rounds on an empty sequence change nothing: any count will do.
        out.results.push_back({0, true, false});
        for (int R = 0; R <= most_rounds; ++R)
            out.readings.push_back({R, 0});
        return out;
    }
    // One buffer for every depth: pairs of zeros stay 0 at all of them.
    std::vector<unsigned char> bytes(static_cast<size_t>(n), 0);
    std::vector<uint64_t> prints;
    if (n % 2) {
        // The first round pads an odd count: no rounds ran.
        if (decode_pairs(numbers, 0, {}, bytes, decode_mode::fill))
            add_reading(numbers, out, 0, bytes, prints, keep_zero);
        return out;
    }
    unwinder back(numbers);
    int least = least_rounds(numbers.longest());
    for (int t = 0; t <= most_rounds; ++t) {
        if (t >= least && back.bytes_at(t, bytes))
            add_reading(numbers, out, t, bytes, prints, keep_zero);
        int m;
        if (t == most_rounds || !back.undo_flip(t, m))
            break;
        out.flipped.push_back(m);
    }
    return out;
}

} // namespace gen
