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
#include "libc/family.hpp"
#include "scan.hpp"
#include "search.hpp"
#include "structure.hpp"

namespace gen {

namespace {

// A crypt as text in memory or behind a descriptor.
struct crypt_source {
    bool in_memory;
    int fd;
    std::string_view text;

    read_failure read(size_t max_digits, size_t max_whole, crypt_numbers &out) const
    {
        if (in_memory) {
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

int cpus()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

// One per CPU by default; more than a few per CPU only costs memory.
int search_jobs(int asked) { return asked > 0 ? std::min(asked, 4 * cpus()) : cpus(); }

// "glibc's rand()", or "the rand() of glibc, musl or msvc".
std::string rand_of(const std::vector<const family *> &families)
{
    if (families.size() == 1)
        return families[0]->owner;
    std::string names;
    for (size_t i = 0; i < families.size(); ++i)
        names += (i == 0 ? "" : i + 1 == families.size() ? " or " : ", ") + std::string(families[i]->name);
    return "the rand() of " + names;
}

// glibc's family first, then the others: the two groups tried in turn.
std::vector<std::vector<const family *>> in_turn(const std::vector<const family *> &families)
{
    std::vector<const family *> glibc, others;
    for (const family *f : families)
        (f == &glibc_family() ? glibc : others).push_back(f);
    std::vector<std::vector<const family *>> out;
    for (auto *group : {&glibc, &others})
        if (!group->empty())
            out.push_back(std::move(*group));
    return out;
}

restored found_by(restored r, const family &f, uint32_t second)
{
    r.second = second;
    r.libc = f.name;
    r.libc_rand = f.owner;
    if (f.twins)
        f.twins(second, r.twins);
    return r;
}

restored ambiguous(std::vector<candidate> candidates);

// A candidate of bytes that R rounds read, not counted by any search.
candidate candidate_of(const std::vector<unsigned char> &bytes, int R, bool keep_zero)
{
    candidate c;
    c.rounds = {R};
    std::vector<unsigned char> b = bytes;
    drop_padding(b, R, keep_zero);
    c.length = b.size();
    c.text = looks_like_text(b.data(), b.size());
    c.head.assign(b.begin(), b.begin() + static_cast<long>(std::min<size_t>(b.size(), 64)));
    return c;
}

// The families' results at second t, glibc's first: one result, or the
// list of them.
restored decide_at(const crypt_numbers &numbers, uint32_t t, const std::vector<const family *> &group,
                   const restore_options &o)
{
    std::vector<std::pair<const family *, std::vector<unsigned char>>> made;
    for (const family *f : group) {
        std::vector<unsigned char> bytes;
        if ((!o.rounds || *o.rounds == rounds_at(*f, t)) && decode_at(numbers, *f, t, bytes)) {
            bool same = false;
            for (const auto &m : made)
                same = same || m.second == bytes;
            if (!same)
                made.emplace_back(f, std::move(bytes));
        }
    }
    if (made.size() == 1) {
        int R = rounds_at(*made[0].first, t);
        return found_by(success(std::move(made[0].second), R, o), *made[0].first, t);
    }
    std::vector<candidate> all;
    for (const auto &m : made)
        all.push_back(candidate_of(m.second, rounds_at(*m.first, t), o.keep_zero));
    return all.empty() ? restored{} : ambiguous(std::move(all));
}

restored restore_at(const crypt_source &src, uint32_t t, const std::vector<const family *> &families,
                    const restore_options &o)
{
    std::string no_match = "no encoding run matches second " + std::to_string(t) + ", with " +
                           rand_of(families);
    int most = 0;
    for (const family *f : families)
        if (!o.rounds || *o.rounds == rounds_at(*f, t))
            most = std::max(most, rounds_at(*f, t));
    if (o.rounds && most != *o.rounds)
        return failure(status::no_match, no_match + " with " + std::to_string(*o.rounds) +
                                             " rounds (" + (families.size() == 1 ? "it draws " + std::to_string(rounds_at(*families[0], t)) : std::string("none draws that count")) + ")");
    crypt_numbers numbers;
    if (read_failure f = src.read(max_digits(most), 2 * static_cast<size_t>(most), numbers)) {
        if (!f.too_long)
            return unreadable(f);
        return failure(status::no_match, no_match + " (at byte " + std::to_string(f.offset) +
                                             ", a number longer than " + std::to_string(most) +
                                             " rounds make)");
    }
    for (const auto &group : in_turn(families)) {
        restored r = decide_at(numbers, t, group, o);
        if (r.ok || r.kind == status::ambiguous)
            return r;
    }
    return failure(status::no_match, no_match);
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

std::string range_of(const search_plan &plan, const std::vector<const family *> &families)
{
    std::string with = ", with " + rand_of(families) +
                       ": --unverified decodes its structure without the second";
    if (plan.span == 1ull << 32)
        return "any second gen can be seeded with" + with;
    uint32_t oldest = static_cast<uint32_t>(plan.newest - plan.span + 1);
    std::string range = "the seconds from " + std::to_string(oldest) + " to " + std::to_string(plan.newest);
    if (oldest > plan.newest)
        range += ", round through 4294967295 and 0";
    return range + with;
}

// The second that the rule chose, confirmed with the draws that confirm
// its family's (the C library's own, for glibc).
restored restore_chosen(const crypt_numbers &numbers, const crypt_structure &st, const choice &c,
                        const restore_options &o)
{
    const auto &reading = st.readings[static_cast<size_t>(c.reading)];
    std::vector<unsigned char> bytes;
    if (!decode_reading(numbers, st, reading.rounds, bytes) ||
        !decode_at(numbers, *c.by, c.second, bytes, decode_mode::compare))
        return failure(status::unconfirmed,
                       "second " + std::to_string(c.second) + " fits the model of " + c.by->owner +
                           " but not the C library's own: nothing written");
    restored r = found_by(success(std::move(bytes), reading.rounds, o), *c.by, c.second);
    if (c.by_window) {
        r.chosen_by_window = true;
        r.chosen_within = c.within;
        r.candidates = candidates_of(numbers, st, nullptr, o.keep_zero, reading.result);
    }
    return r;
}

restored restore_by_search(const crypt_source &src, const std::vector<const family *> &families,
                           const restore_options &o)
{
    crypt_numbers numbers;
    if (read_failure f = src.read(max_digits(most_rounds), 2 * static_cast<size_t>(most_rounds),
                                  numbers))
        return unreadable(f);
    crypt_structure st = read_structure(numbers, o.keep_zero);
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
    plan.newest = o.newest ? *o.newest : static_cast<uint32_t>(time(nullptr));
    // The window's seconds and newest itself, at most every second.
    plan.span = o.window && *o.window < (1ull << 32) - 1 ? *o.window + 1 : 1ull << 32;
    plan.jobs = search_jobs(o.jobs);
    plan.families = families;
    choice c = choose(st, plan, o.progress);
    restored r;
    if (c.kind == choice::none)
        r = failure(status::no_match, "no encoding run matches " + range_of(plan, families));
    else if (c.kind == choice::ambiguous)
        r = ambiguous(candidates_of(numbers, st, &c.counted, o.keep_zero, -1, c.list_all));
    else
        r = restore_chosen(numbers, st, c, o);
    r.newest = plan.newest;
    return r;
}

restored restore_from(const crypt_source &src, const restore_options &o)
{
    std::vector<const family *> families;
    for (const std::string &name : o.libc) {
        const family *f = find_family(name);
        if (f == nullptr)
            return failure(status::no_such_libc, "no C library's rand() is named '" + name + "'");
        if (std::find(families.begin(), families.end(), f) == families.end())
            families.push_back(f);
    }
    if (families.empty())
        families = all_families();
    if (std::find(families.begin(), families.end(), &glibc_family()) != families.end() &&
        !o.unverified && !glibc_model_fits())
        return failure(status::unconfirmed, "the model of glibc's rand() does not give the C library's "
                                            "own draws: nothing searched");
    if (o.second)
        return restore_at(src, *o.second, families, o);
    return restore_by_search(src, families, o);
}

} // namespace

bool rand_model_fits() { return glibc_model_fits(); }

std::vector<libc_family> libc_families()
{
    std::vector<libc_family> out;
    for (const family *f : all_families())
        out.push_back({f->name, f->libraries, f->owner});
    return out;
}

restored restore(std::string_view crypt, const restore_options &o)
{
    return restore_from({true, -1, crypt}, o);
}

restored restore_fd(int fd, const restore_options &o) { return restore_from({false, fd, {}}, o); }

} // namespace gen
