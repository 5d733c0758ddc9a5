// gen::restore: reading a crypt and deciding what it holds, with the
// second given, by searching for it, or from its structure alone.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <string>
#include <unistd.h>

#include "choose.hpp"
#include "decode.hpp"
#include "gen/gen.hpp"
#include "numbers.hpp"
#include "rand_model.hpp"
#include "scan.hpp"
#include "search.hpp"
#include "structure.hpp"

namespace gen {

namespace {

// A crypt as text in memory or behind a descriptor.
struct crypt_source {
    int fd;
    std::string_view text;

    read_failure read(size_t max_digits, size_t max_whole, crypt_numbers &out) const
    {
        if (fd < 0) {
            token_reader in(text, max_digits + 1);
            return read_numbers(in, max_digits, max_whole, out);
        }
        token_reader in(fd, max_digits + 1);
        return read_numbers(in, max_digits, max_whole, out);
    }
};

restored failure(status kind, std::string message)
{
    restored r;
    r.kind = kind;
    r.message = std::move(message);
    return r;
}

restored unreadable(const read_failure &f)
{
    if (f.kind == status::read_failed) {
        restored r = failure(status::read_failed, strerror(f.err));
        r.err = f.err;
        return r;
    }
    // A first byte that cannot start a number: most likely not a crypt.
    std::string where = "byte " + std::to_string(f.offset) + ": " + f.what;
    restored r = failure(status::malformed, f.offset == 0 ? "not a crypt of gen (" + where + ")" : where);
    r.offset = f.offset;
    return r;
}

restored success(std::vector<unsigned char> bytes, int R, const restore_options &o)
{
    restored r;
    r.ok = true;
    r.rounds = R;
    r.bytes = std::move(bytes);
    r.dropped_padding = drop_padding(r.bytes, R, o.keep_zero);
    r.zero_elsewhere =
        r.dropped_padding && std::find(r.bytes.begin(), r.bytes.end(), 0) != r.bytes.end();
    return r;
}

std::string list(const std::vector<int> &v)
{
    std::string out;
    for (int x : v)
        out += (out.empty() ? "" : ", ") + std::to_string(x);
    return out;
}

int default_jobs()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

restored restore_at(const crypt_source &src, uint32_t t, const restore_options &o)
{
    int R = rounds_at(t);
    std::string no_match = "no encoding run matches second " + std::to_string(t);
    if (o.rounds && *o.rounds != R)
        return failure(status::no_match, no_match + " with " + std::to_string(*o.rounds) +
                                             " rounds (it draws " + std::to_string(R) + ")");
    crypt_numbers numbers;
    if (read_failure f = src.read(max_digits(R), 2 * static_cast<size_t>(R), numbers)) {
        if (!f.too_long)
            return unreadable(f);
        return failure(status::no_match, no_match + " (at byte " + std::to_string(f.offset) +
                                             ", a number longer than " + std::to_string(R) +
                                             " rounds make)");
    }
    std::vector<unsigned char> bytes;
    if (!decode_at(numbers, t, bytes))
        return failure(status::no_match, no_match);
    restored r = success(std::move(bytes), R, o);
    r.second = t;
    return r;
}

restored ambiguous(std::vector<candidate> candidates)
{
    restored r = failure(status::ambiguous, "ambiguous: " + std::to_string(candidates.size()) +
                                                " different results fit; nothing written");
    r.candidates = std::move(candidates);
    return r;
}

// The structure alone: one result, or the list of them.
restored restore_unverified(const crypt_numbers &numbers, const crypt_structure &st,
                            const restore_options &o)
{
    std::vector<candidate> all = candidates_of(numbers, st, nullptr, o.keep_zero, -1);
    if (all.size() > 1)
        return ambiguous(std::move(all));
    std::vector<unsigned char> bytes;
    int R = st.readings.back().rounds;
    decode_reading(numbers, st, R, bytes);
    restored r = success(std::move(bytes), R, o);
    r.unverified = true;
    return r;
}

std::string range_of(const search_plan &plan)
{
    if (plan.span == 1ull << 32)
        return "any second gen can be seeded with";
    uint32_t oldest = static_cast<uint32_t>(plan.newest - plan.span + 1);
    std::string range = "the seconds from " + std::to_string(oldest) + " to " + std::to_string(plan.newest);
    if (oldest > plan.newest)
        range += ", round through 4294967295 and 0";
    return range;
}

// The second that the rule chose, confirmed with the C library's draws.
restored restore_chosen(const crypt_numbers &numbers, const crypt_structure &st, const choice &c,
                        const restore_options &o)
{
    const auto &reading = st.readings[static_cast<size_t>(c.reading)];
    std::vector<unsigned char> bytes;
    if (!decode_reading(numbers, st, reading.rounds, bytes) ||
        !decode_at(numbers, c.second, bytes, decode_mode::compare))
        return failure(status::unconfirmed,
                       "second " + std::to_string(c.second) +
                           " fits the model of rand() but not the C library's own: nothing written");
    restored r = success(std::move(bytes), reading.rounds, o);
    r.second = c.second;
    if (c.by_window) {
        r.chosen_by_window = true;
        r.candidates = candidates_of(numbers, st, nullptr, o.keep_zero, reading.result);
    }
    return r;
}

restored restore_by_search(const crypt_source &src, const restore_options &o)
{
    crypt_numbers numbers;
    if (read_failure f = src.read(max_digits(most_rounds), 2 * static_cast<size_t>(most_rounds),
                                  numbers))
        return unreadable(f);
    crypt_structure st = read_structure(numbers);
    if (st.readings.empty())
        return failure(status::not_a_crypt, "not a crypt of gen: no round count undoes its numbers");
    if (o.rounds) {
        std::vector<int> all;
        for (const auto &x : st.readings)
            all.push_back(x.rounds);
        st.readings.erase(std::remove_if(st.readings.begin(), st.readings.end(),
                                         [&](const auto &x) { return x.rounds != *o.rounds; }),
                          st.readings.end());
        if (st.readings.empty())
            return failure(status::no_such_rounds,
                           "no reading has " + std::to_string(*o.rounds) + " rounds (it reads as " +
                               list(all) + ")");
    }
    if (o.unverified)
        return restore_unverified(numbers, st, o);

    search_plan plan;
    plan.newest = o.newest ? o.newest : static_cast<uint32_t>(time(nullptr));
    plan.span = o.window ? std::min<uint64_t>(*o.window + 1, 1ull << 32) : 1ull << 32;
    plan.jobs = o.jobs > 0 ? o.jobs : default_jobs();
    plan.c_library = !rand_model::agrees_with_c_library();
    choice c = choose(st, plan, o.progress);
    restored r;
    if (c.kind == choice::none)
        r = failure(status::no_match, "no encoding run matches " + range_of(plan));
    else if (c.kind == choice::ambiguous)
        r = ambiguous(candidates_of(numbers, st, &c.counted, o.keep_zero, -1));
    else
        r = restore_chosen(numbers, st, c, o);
    r.newest = plan.newest;
    r.c_library_search = plan.c_library;
    return r;
}

restored restore_from(const crypt_source &src, const restore_options &o)
{
    if (o.second)
        return restore_at(src, *o.second, o);
    return restore_by_search(src, o);
}

} // namespace

bool rand_model_fits() { return rand_model::agrees_with_c_library(); }

restored restore(std::string_view crypt, const restore_options &o)
{
    return restore_from({-1, crypt}, o);
}

restored restore_fd(int fd, const restore_options &o) { return restore_from({fd, {}}, o); }

} // namespace gen
