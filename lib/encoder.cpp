// The encoder: the whole-run evaluation, and the element array for
// running the rounds one by one.
//
// Pairs never exchange values and the draws never depend on them, so the
// whole-run evaluation takes all draws first and then evaluates every pair
// on its own. Two pair steps in a row double both values, so a pair that no
// draw hits ends as 2^(R/2) times a small value derived from its two
// bytes; the decimal text of each such value is made once and copied. Only
// the pairs that are flipped (at most one per round) are computed as big
// integers. The result is byte for byte that of the rounds one by one.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "gen/gen.hpp"
#include "libc/family.hpp"
#include "rules.hpp"
#include "writer.hpp"

namespace gen {

namespace {

struct pair_values {
    int pair;
    mpz_t s, d;
};

// The final values of every pair that some round flips, by pair index.
std::vector<pair_values> evaluate_flipped(const unsigned char *bytes, int n0,
                                           const flip_list &hits, int R)
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

// Tells on_round that round j starts once j / R of the work is done.
class pacer {
public:
    pacer(const round_fn &on_round, int R, uint64_t total)
        : on_round_(on_round), R_(R), total_(total)
    {
        advance(0);
    }
    void advance(uint64_t done)
    {
        while (done >= due_ && next_ < R_) {
            if (on_round_)
                on_round_(next_, R_);
            ++next_;
            // The least work w with w * R >= next * total.
            due_ = (static_cast<uint64_t>(next_) * total_ + static_cast<uint64_t>(R_) - 1) /
                   static_cast<uint64_t>(R_);
        }
    }

private:
    const round_fn &on_round_;
    int R_;
    uint64_t total_;
    int next_ = 0;
    uint64_t due_ = 0;
};

// The whole run, its flips drawn from draw (rand() where empty).
int encode_run(const unsigned char *bytes, int n0, int R, const write_fn &write,
               const round_fn &on_round, const std::function<int()> &draw)
{
    // The first round pads an odd sequence with a 0.
    int n = R > 0 && n0 % 2 ? n0 + 1 : n0;
    std::vector<pair_values> flipped = evaluate_flipped(bytes, n0, draw_flips(n, R, draw), R);
    text_sink out(write);
    pacer pace(on_round, R, static_cast<uint64_t>(n));

    // An unflipped pair (a, b) ends as 2^(R/2) (a, b) after an even number
    // of rounds and as 2^(R/2) (a + b, a - b) after an odd one.
    scaled_texts texts(R / 2);
    auto byte = [&](int i) { return i < n0 ? static_cast<int>(bytes[i]) : 0; };
    auto next_flipped = flipped.rbegin();
    for (int i = n - 1; i >= 0 && out.error() == 0; --i) {
        pace.advance(static_cast<uint64_t>(n - 1 - i));
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
    int err = out.flush();
    if (err == 0)
        pace.advance(static_cast<uint64_t>(n));

    for (auto &p : flipped) {
        mpz_clear(p.s);
        mpz_clear(p.d);
    }
    return err;
}

// The text of a run at `second` with draws from the generator that gives
// them.
std::string encode_with(const unsigned char *data, size_t size, draw_source &draws)
{
    std::string text;
    write_fn append = [&](const char *p, size_t len) {
        text.append(p, len);
        return 0;
    };
    int R = draws.next() % round_modulus;
    int n = static_cast<int>(size < static_cast<size_t>(input_limit) ? size : input_limit);
    encode_run(data, n, R, append, {}, [&] { return draws.next(); });
    return text;
}

} // namespace

int encode_rounds(const unsigned char *bytes, int n, int R, const write_fn &write,
                  const round_fn &on_round)
{
    // Nothing could decode the text of another round count.
    if (R < 0 || R > most_rounds || n < 0)
        return EINVAL;
    return encode_run(bytes, n, R, write, on_round, {});
}

std::string encode(const unsigned char *data, size_t size, uint32_t second)
{
    return encode_with(data, size, *authority_draws(glibc_family(), second));
}

std::optional<std::string> encode(const unsigned char *data, size_t size, uint32_t second,
                                  std::string_view libc)
{
    const family *f = find_family(libc);
    if (f == nullptr)
        return std::nullopt;
    model_draws draws(*f, second);
    return encode_with(data, size, draws);
}

bool prefer_whole_run(int n, int R)
{
    // Round by round costs about n * R small additions; the whole-run
    // evaluation has a fixed cost of up to 766 scaled values of R / 2 bits
    // in decimal. The Crossover benchmarks in bench/ place the switch.
    return static_cast<long long>(n) * (R + 1) > 1000;
}

bi *build_elements(const unsigned char *bytes, int n)
{
    // Sized in size_t: n + 1 elements never overflow, whatever n is.
    size_t count = static_cast<size_t>(n) + 1;
    bi *cfile = static_cast<bi *>(malloc(count * sizeof(bi)));
    if (cfile == nullptr)
        return nullptr;
    for (int i = 0; i < n; ++i)
        cfile[i].set(bytes[i]);
    return cfile;
}

int write_elements(const bi *cfile, int n, const write_fn &write)
{
    text_sink out(write);
    for (int j = 0; j < n && out.error() == 0; ++j)
        put_number(out, cfile[n - 1 - j].z);
    return out.flush();
}

void free_elements(bi *cfile, int n)
{
    for (int i = 0; i < n; ++i)
        release(cfile[i]);
    free(cfile);
}

} // namespace gen
