// gen::restore: reading a crypt and deciding what it holds, with the
// second given or by searching for it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <string>
#include <unistd.h>

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
    restored r = failure(status::malformed, "byte " + std::to_string(f.offset) + ": " + f.what);
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
    return r;
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

// The index of each reading's group of equal bytes, and the group count.
std::vector<int> group_readings(const crypt_structure &st, int &groups)
{
    std::vector<int> group(st.readings.size(), -1);
    groups = 0;
    for (size_t i = 0; i < st.readings.size(); ++i) {
        for (size_t j = 0; j < i && group[i] < 0; ++j)
            if (st.readings[j].bytes == st.readings[i].bytes)
                group[i] = group[j];
        if (group[i] < 0)
            group[i] = groups++;
    }
    return group;
}

// Whether any of the 2^32 seconds has a chance above 2^-64 of giving a run
// of R rounds with given flips on count numbers: each flip names one of
// count / 2 pairs.
bool possible_by_chance(int R, int count)
{
    double per_flip = count <= 2 ? 0 : std::log2(count / 2.0);
    return 32 - std::log2(4011.0) - R * per_flip >= -64;
}

// Fills in how many seconds give another result than the first one, and
// the first few of them in search order.
void note_ambiguity(const std::vector<int> &group, int groups, const search_result &res,
                    uint32_t newest, restored &r)
{
    std::vector<bool> seen(static_cast<size_t>(groups));
    std::vector<uint64_t> ranks;
    for (size_t i = 0; i < res.readings.size(); ++i)
        if (res.readings[i].seconds > 0) {
            seen[static_cast<size_t>(group[i])] = true;
            r.ambiguous_seconds += res.readings[i].seconds;
            ranks.insert(ranks.end(), res.readings[i].ranks.begin(), res.readings[i].ranks.end());
        }
    r.results = static_cast<int>(std::count(seen.begin(), seen.end(), true));
    if (r.results <= 1)
        return;
    std::sort(ranks.begin(), ranks.end());
    ranks.resize(std::min<size_t>(ranks.size(), 5));
    for (uint64_t k : ranks)
        r.first_seconds.push_back(static_cast<uint32_t>(newest - k));
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
    int groups;
    std::vector<int> group = group_readings(st, groups);

    if (o.unverified) {
        // The deepest reading: a shallower one is what an input of small
        // bytes (text, say) looks like before its last rounds.
        const auto &deepest = st.readings.back();
        restored r = success(deepest.bytes, deepest.rounds, o);
        r.unverified = true;
        r.results = groups;
        return r;
    }

    search_plan plan;
    plan.newest = o.newest ? o.newest : static_cast<uint32_t>(time(nullptr));
    plan.span = o.window ? std::min<uint64_t>(*o.window + 1, 1ull << 32) : 1ull << 32;
    plan.jobs = o.jobs > 0 ? o.jobs : default_jobs();
    plan.c_library = !rand_model::agrees_with_c_library();
    search_result res = search_seconds(st, plan, true, o.progress);
    // Another result is worth counting only where some second could give
    // it at all; then every second is counted.
    if (res.found() && !res.complete)
        for (size_t i = 0; i < st.readings.size(); ++i)
            if (group[i] != group[static_cast<size_t>(res.first_reading())] &&
                possible_by_chance(st.readings[i].rounds, st.count)) {
                res = search_seconds(st, plan, false, o.progress);
                break;
            }
    if (!res.found()) {
        std::string where =
            plan.span == 1ull << 32
                ? "any second gen can be seeded with"
                : "the seconds from " +
                      std::to_string(static_cast<uint32_t>(plan.newest - plan.span + 1)) + " to " +
                      std::to_string(plan.newest);
        restored r = failure(status::no_match, "no encoding run matches " + where);
        r.c_library_search = plan.c_library;
        return r;
    }

    // The model chose; the C library confirms.
    std::vector<unsigned char> bytes;
    const auto &chosen = st.readings[static_cast<size_t>(res.first_reading())];
    uint32_t first = res.first(plan.newest);
    if (!decode_at(numbers, first, bytes) || bytes != chosen.bytes)
        return failure(status::unconfirmed,
                       "second " + std::to_string(first) +
                           " fits the model of rand() but not the C library's own: nothing written");
    restored r = success(std::move(bytes), chosen.rounds, o);
    r.second = first;
    r.c_library_search = plan.c_library;
    note_ambiguity(group, groups, res, plan.newest, r);
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
