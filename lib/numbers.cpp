#include "numbers.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "writer.hpp"

namespace gen {

crypt_numbers::crypt_numbers(crypt_numbers &&o) noexcept { *this = std::move(o); }

crypt_numbers &crypt_numbers::operator=(crypt_numbers &&o) noexcept
{
    if (this != &o) {
        clear();
        entries_ = std::move(o.entries_);
        nonzero_ = std::move(o.nonzero_);
        wholes_ = std::move(o.wholes_);
        o.wholes_.clear();
        longest_ = o.longest_;
        complete_ = o.complete_;
    }
    return *this;
}

crypt_numbers::~crypt_numbers() { clear(); }

void crypt_numbers::clear()
{
    for (auto &w : wholes_)
        mpz_clear(w.v);
    wholes_.clear();
}

const crypt_numbers::whole_number &crypt_numbers::find_whole(size_t i) const
{
    return *std::lower_bound(wholes_.begin(), wholes_.end(), i,
                             [](const whole_number &w, size_t k) { return w.index < k; });
}

void crypt_numbers::value(size_t i, mpz_t dst) const
{
    const number_entry &e = entries_[i];
    if (e.k == whole) {
        mpz_set(dst, find_whole(i).v);
        return;
    }
    mpz_set_si(dst, e.c);
    mpz_mul_2exp(dst, dst, e.k);
}

int crypt_numbers::valuation(size_t i) const
{
    const number_entry &e = entries_[i];
    if (e.k == whole)
        return static_cast<int>(mpz_scan1(find_whole(i).v, 0));
    return e.c == 0 ? no_bits : e.k;
}

bool crypt_numbers::scaled(size_t i, int h, long &c) const
{
    const number_entry &e = entries_[i];
    if (e.k == whole)
        return false;
    if (e.c == 0) {
        c = 0;
        return true;
    }
    if (e.k < h || e.k - h > 9)
        return false;
    c = static_cast<long>(e.c) * (1L << (e.k - h));
    return c >= -255 && c <= 510;
}

void crypt_numbers::push(number_entry e)
{
    size_t i = entries_.size();
    if (i % 64 == 0)
        nonzero_.push_back(0);
    if (e.c != 0 || e.k == whole)
        nonzero_.back() |= uint64_t{1} << (i % 64);
    entries_.push_back(e);
}

size_t crypt_numbers::next_nonzero_pair(size_t m) const
{
    size_t n = entries_.size(), pairs = n / 2;
    if (m >= pairs)
        return pairs;
    // Pairs go up as numbers go down: the highest nonzero number at or
    // below the pair's upper one.
    size_t j = n - 1 - 2 * m;
    for (size_t w = j / 64;; --w) {
        uint64_t bits = nonzero_[w];
        if (w == j / 64 && j % 64 != 63)
            bits &= (uint64_t{2} << (j % 64)) - 1;
        if (bits != 0)
            return (n - 1 - (w * 64 + 63 - static_cast<size_t>(__builtin_clzll(bits)))) / 2;
        if (w == 0)
            return pairs;
    }
}

namespace {

constexpr double log2_10 = 3.321928094887362;

// The decimal texts of c * 2^k, made on first use. A crypt of gen holds
// fewer than a thousand distinct ones; anything else only costs time.
class text_cache {
public:
    text_cache() { mpz_init(v_); }
    ~text_cache() { mpz_clear(v_); }

    const std::string &text(int c, int k)
    {
        if (map_.size() > 8192)
            map_.clear();
        std::string &t = map_[static_cast<uint32_t>(k) << 11 | (static_cast<uint32_t>(c) & 0x7ff)];
        if (t.empty())
            t = scaled_text(c, k, v_);
        return t;
    }

private:
    std::unordered_map<uint32_t, std::string> map_;
    mpz_t v_;
};

// (c, k) with c odd and |c| < 1024 if p[0..len), a checked number, is
// c * 2^k (c = 0 for 0); false otherwise.
bool small_form(const char *p, size_t len, text_cache &texts, number_entry &out)
{
    bool neg = p[0] == '-';
    size_t digits = len - neg;
    if (digits <= 18) {
        long long x = 0;
        for (size_t i = neg; i < len; ++i)
            x = x * 10 + (p[i] - '0');
        if (x == 0) {
            out = {0, 0};
            return true;
        }
        int k = __builtin_ctzll(static_cast<unsigned long long>(x));
        long long c = x >> k;
        if (c >= 1024)
            return false;
        out = {static_cast<int16_t>(neg ? -c : c), static_cast<uint16_t>(k)};
        return true;
    }
    // The leading digits fix the only (c, k) the number can be; its text
    // must then match to the last digit.
    double lead = 0;
    for (size_t i = 0; i < 15; ++i)
        lead = lead * 10 + (p[neg + i] - '0');
    double l = std::log2(lead) + static_cast<double>(digits - 15) * log2_10;
    double e = std::floor(l) - 10;
    double x = std::exp2(l - e);  // in [1024, 2048)
    double r = std::nearbyint(x);
    if (std::fabs(x - r) > 1e-6)
        return false;
    long c9 = static_cast<long>(r);
    int tz = __builtin_ctzl(static_cast<unsigned long>(c9));
    long c = c9 >> tz;
    long k = static_cast<long>(e) + tz;
    if (c >= 1024 || k < 0 || k >= crypt_numbers::whole)
        return false;
    if (neg)
        c = -c;
    const std::string &t = texts.text(static_cast<int>(c), static_cast<int>(k));
    if (t.size() != len || memcmp(t.data(), p, len) != 0)
        return false;
    out = {static_cast<int16_t>(c), static_cast<uint16_t>(k)};
    return true;
}

bool digits_only(const char *p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] < '0' || p[i] > '9')
            return false;
    return true;
}

} // namespace

read_failure read_numbers(token_reader &in, size_t max_digits, size_t max_whole,
                          crypt_numbers &out)
{
    text_cache texts;
    const char *p;
    size_t len;
    std::string text;
    read_failure why;
    while (in.next(p, len)) {
        bool neg = len > 0 && p[0] == '-';
        size_t digits = len - neg;
        // A long number that matches a valid text is valid; all others are
        // checked byte by byte first.
        bool quick = digits > 18 && p[neg] != '0' && digits_only(p + neg, 15);
        if (!quick && !check_number(p, len, in.offset(), why))
            return why;
        if (digits > max_digits) {
            // A byte that cannot be in a number comes first, wherever it is.
            if (!check_number(p, len, in.offset(), why))
                return why;
            return read_failure::malformed(
                in.offset(), "number longer than " + std::to_string(max_digits) + " digits", true);
        }
        out.longest_ = std::max<uint64_t>(out.longest_, digits);
        number_entry e;
        if (small_form(p, len, texts, e)) {
            out.push(e);
            continue;
        }
        if (quick && !check_number(p, len, in.offset(), why))
            return why;
        out.push({0, crypt_numbers::whole});
        if (out.wholes_.size() >= max_whole) {
            out.complete_ = false;
            continue;
        }
        text.assign(p, len);
        auto &w = out.wholes_.emplace_back();
        w.index = out.entries_.size() - 1;
        mpz_init_set_str(w.v, text.c_str(), 10);
    }
    return in.failure();
}

} // namespace gen
