#include "decode.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "encode.hpp"
#include "pairs.hpp"
#include "scan.hpp"

namespace {

// Seeds the generator as gen does and returns the round count.
int seed_rounds(long t)
{
    srand(static_cast<unsigned>(t));
    return draw_rounds();
}

bool is_byte(long v) { return v >= 0 && v <= 255; }

} // namespace

crypt_summary summarize(int fd)
{
    crypt_summary s;
    token_reader in(fd);
    const char *p;
    size_t len;
    int prev_odd = 0;
    while (in.next(p, len)) {
        check_number(p, len, in.offset());
        bool neg = p[0] == '-';
        s.longest = std::max<uint64_t>(s.longest, len - neg);
        if (neg || len > 3 || (len == 3 && memcmp(p, "255", 3) > 0))
            s.all_bytes = false;
        int odd = (p[len - 1] - '0') & 1;
        if (s.count % 2 == 1 && odd != prev_odd) {
            ++s.odd_pairs;
            s.odd_pair = s.count / 2;
        }
        prev_odd = odd;
        ++s.count;
    }
    return s;
}

bool may_match(const crypt_summary &s, long t)
{
    int R = seed_rounds(t);
    if (R == 0)
        return s.all_bytes;
    if (s.count % 2 || s.count > INT_MAX)
        return false;
    // Every value v after R rounds has |v| < 363 * 2^(R/2) (the pair step
    // scales a pair's length by sqrt 2, a flip moves it by at most 1), so
    // its bit length L satisfies R >= 2L - 19. A number of D digits has
    // L >= (D - 1) log2(10).
    if (s.longest > 1) {
        double bits = std::floor(static_cast<double>(s.longest - 1) * 3.321928) - 1;
        if (R < 2 * bits - 19)
            return false;
    }
    if (s.count == 0)
        return true;
    // The last round's flip leaves exactly its own pair out of parity.
    if (s.odd_pairs != 1)
        return false;
    int n = static_cast<int>(s.count);
    int r = 0;
    for (int j = 0; j < R; ++j)
        r = rand();
    return static_cast<uint64_t>(n / 2 - 1 - flipped_pair(r, n)) == s.odd_pair;
}

namespace {

constexpr int16_t not_small = INT16_MIN;  // a number outside the table

// Recognises the texts of c * 2^h. The leading digits of a number give
// the only c it can be; that c's text, made on first use, must then match
// to the last byte.
class small_values {
public:
    explicit small_values(int h) : h_(h), texts_(h) {}

    // c if p[0..len) is the text of c * 2^h, else not_small.
    int16_t find(const char *p, size_t len)
    {
        bool neg = p[0] == '-';
        size_t digits = len - neg, lead = std::min<size_t>(digits, 17);
        double d = 0;
        for (size_t i = 0; i < lead; ++i) {
            unsigned v = static_cast<unsigned char>(p[neg + i]) - '0';
            if (v > 9)
                return not_small;  // not a number at all; checked by the caller
            d = d * 10 + v;
        }
        long guess = 0;
        if (d > 0) {
            double lg = std::log2(d) + static_cast<double>(digits - lead) * 3.321928094887362 - h_;
            if (lg > 9.5)
                return not_small;
            guess = std::lround(std::exp2(lg));
        }
        if (neg)
            guess = -guess;
        for (long c : {guess, guess - 1, guess + 1}) {
            if (c < scaled_texts::lo || c > scaled_texts::hi)
                continue;
            const std::string &t = texts_[static_cast<int>(c)];
            if (t.size() - 1 == len && memcmp(t.data(), p, len) == 0)
                return static_cast<int16_t>(c);
        }
        return not_small;
    }

private:
    int h_;
    scaled_texts texts_;
};

struct big_value {
    uint64_t token;
    mpz_t v;
};

} // namespace

bool decode_at(int fd, long t, bool keep_zero, std::vector<unsigned char> &out)
{
    int R = seed_rounds(t);
    int h = R / 2;
    small_values table(h);

    // One code per number, in file order; the numbers outside the table
    // (only flipped pairs can hold them) are kept whole.
    std::vector<int16_t> codes;
    std::vector<big_value> bigs;
    struct clear_bigs {
        std::vector<big_value> &b;
        ~clear_bigs()
        {
            for (auto &x : b)
                mpz_clear(x.v);
        }
    } guard{bigs};

    token_reader in(fd);
    const char *p;
    size_t len;
    std::string text;
    while (in.next(p, len)) {
        int16_t c = table.find(p, len);
        if (c == not_small) {
            check_number(p, len, in.offset());
            if (bigs.size() >= 2 * static_cast<size_t>(R))
                return false;
            text.assign(p, len);
            big_value &b = bigs.emplace_back();
            b.token = codes.size();
            mpz_init_set_str(b.v, text.c_str(), 10);
        }
        codes.push_back(c);
    }
    if (codes.size() > INT_MAX || (R > 0 && codes.size() % 2))
        return false;
    int n = static_cast<int>(codes.size());

    std::vector<std::pair<int, int>> hits = flip_schedule(n, R, false);

    out.assign(static_cast<size_t>(n), 0);
    auto code = [&](int i) { return codes[static_cast<size_t>(n - 1 - i)]; };
    if (R == 0) {
        for (int i = 0; i < n; ++i) {
            if (!is_byte(code(i)))
                return false;
            out[i] = static_cast<unsigned char>(code(i));
        }
        return true;
    }

    struct scratch_values {
        mpz_t s, d, tmp;
        scratch_values() { mpz_inits(s, d, tmp, nullptr); }
        ~scratch_values() { mpz_clears(s, d, tmp, nullptr); }
    } z;
    auto value = [&](int i, mpz_t dst) {
        uint64_t token = static_cast<uint64_t>(n - 1 - i);
        if (code(i) != not_small) {
            mpz_set_si(dst, code(i));
            mpz_mul_2exp(dst, dst, static_cast<mp_bitcnt_t>(h));
            return;
        }
        auto it = std::lower_bound(bigs.begin(), bigs.end(), token,
                                   [](const big_value &b, uint64_t k) { return b.token < k; });
        mpz_set(dst, it->v);
    };

    auto hit = hits.begin();
    for (int m = 0; m < n / 2; ++m) {
        long a, b;
        if (hit != hits.end() && hit->first == m) {
            auto first = hit;
            while (hit != hits.end() && hit->first == m)
                ++hit;
            value(2 * m, z.s);
            value(2 * m + 1, z.d);
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
            a = mpz_get_si(z.s);
            b = mpz_get_si(z.d);
        } else {
            long cs = code(2 * m), cd = code(2 * m + 1);
            if (cs == not_small || cd == not_small)
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
        }
        if (!is_byte(a) || !is_byte(b))
            return false;
        out[2 * m] = static_cast<unsigned char>(a);
        out[2 * m + 1] = static_cast<unsigned char>(b);
    }
    if (!keep_zero && n > 0 && out.back() == 0)
        out.pop_back();
    return true;
}
