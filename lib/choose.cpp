#include "choose.hpp"

#include <algorithm>
#include <cmath>

#include "decode.hpp"

namespace gen {

namespace {

// log2 of how many of `seconds` seconds of every family of the plan give
// a run of R rounds with given flips on count numbers by chance: one in
// 4011 draws R, and each flip names one of count / 2 pairs, or of fewer
// where a family's draws cannot reach them all (the most likely family
// counts).
double log2_chance(int R, int count, double seconds, const search_plan &plan)
{
    double range = count;
    for (const family *f : plan.families)
        range = std::min(range, f->rand_max + 1.0);
    double per_flip = count <= 2 ? 0 : std::log2(std::max(1.0, range / 2.0));
    return std::log2(seconds * static_cast<double>(plan.families.size())) - std::log2(4011.0) -
           R * per_flip;
}

} // namespace

bool possible_by_chance(int R, int count, const search_plan &plan)
{
    return log2_chance(R, count, 0x1p32, plan) >= -64;
}

namespace {

// The results that some second of res makes, by index.
std::vector<int> results_matched(const crypt_structure &st, const search_result &res)
{
    std::vector<int> out;
    for (const auto &f : res.matches)
        for (size_t i = 0; i < st.readings.size() && i < f.size(); ++i)
            if (f[i].seconds > 0)
                out.push_back(st.readings[i].result);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

size_t results_read(const crypt_structure &st)
{
    std::vector<int> all;
    for (const auto &r : st.readings)
        all.push_back(r.result);
    std::sort(all.begin(), all.end());
    return static_cast<size_t>(std::unique(all.begin(), all.end()) - all.begin());
}

// Whether a second could make another result than r by chance.
bool others_possible(const crypt_structure &st, int r, const search_plan &plan)
{
    for (const auto &x : st.readings)
        if (x.result != r && possible_by_chance(x.rounds, st.count, plan))
            return true;
    return false;
}

choice first_of(const search_result &res, const search_plan &plan)
{
    search_result::match m = res.first();
    choice c;
    c.kind = choice::found;
    c.reading = m.reading;
    c.second = static_cast<uint32_t>(plan.newest - m.rank);
    c.by = plan.families[static_cast<size_t>(m.family)];
    return c;
}

// The rule, on every match of the range.
choice from_counts(const crypt_structure &st, search_result res, const search_plan &plan)
{
    size_t results = results_matched(st, res).size();
    if (results == 0)
        return {};
    if (results == 1)
        return first_of(res, plan);
    choice c;
    c.kind = choice::ambiguous;
    c.counted = std::move(res);
    return c;
}

} // namespace

namespace {

// One result is made by the seconds of res, which are `seconds` of the
// range: it is supported where no second could make another result, or
// where chance alone would make that reading among so many seconds less
// than once in 2^32 tries; otherwise finding it there tells nothing.
choice one_made(const crypt_structure &st, search_result res, uint64_t seconds, const search_plan &plan)
{
    choice c = first_of(res, plan);
    int result = st.readings[static_cast<size_t>(c.reading)].result;
    if (!others_possible(st, result, plan))
        return c;
    if (log2_chance(st.readings[static_cast<size_t>(c.reading)].rounds, st.count,
                    static_cast<double>(seconds), plan) < -32) {
        c.by_window = true;
        c.within = seconds;
        return c;
    }
    choice weak;
    weak.kind = choice::ambiguous;
    weak.counted = std::move(res);
    weak.list_all = true;
    return weak;
}

// The rule on the matches of a range of seconds: the whole range, or a
// part of it, where a result made by chance tells nothing.
choice from_range(const crypt_structure &st, search_result res, uint64_t seconds, const search_plan &plan)
{
    size_t results = results_matched(st, res).size();
    if (results == 1 && seconds < (1ull << 32))
        return one_made(st, std::move(res), seconds, plan);
    return from_counts(st, std::move(res), plan);
}

// The rule over the families of one plan, searched together.
choice choose_together(const crypt_structure &st, const search_plan &plan, const search_tick &tick)
{
    if (results_read(st) == 1) {
        search_result res = search_seconds(st, plan, true, tick);
        return res.found() ? first_of(res, plan) : choice{};
    }
    // The day before newest first: where most crypts were made. A match
    // there that tells settles it.
    uint64_t window = std::min(day_window, plan.span);
    search_result near = search_in_order(st, plan, 0, window, false, tick);
    if (window == plan.span)
        return from_range(st, std::move(near), window, plan);
    // Seconds there make two results or more: they both verify, whatever
    // the rest of the range holds, and counting on would only cost time.
    if (results_matched(st, near).size() > 1)
        return from_counts(st, std::move(near), plan);
    if (results_matched(st, near).size() == 1) {
        choice c = one_made(st, near, window, plan);
        if (c.kind == choice::found)
            return c;
    }
    // The day tells nothing apart: every second of the range counts.
    return from_range(st, search_seconds(st, plan, false, tick), plan.span, plan);
}

} // namespace

choice choose(const crypt_structure &st, const search_plan &plan, const search_tick &tick)
{
    search_plan glibc = plan, others = plan;
    glibc.families.clear();
    others.families.clear();
    for (const family *f : plan.families)
        (f == &glibc_family() ? glibc : others).families.push_back(f);
    // A whole-range walk of glibc's screens the families that share it too,
    // for the others' search if glibc's finds nothing.
    shared_walk shared{others.families, {}, {}};
    glibc.shared = others.shared = &shared;
    if (!glibc.families.empty()) {
        choice c = choose_together(st, glibc, tick);
        if (c.kind != choice::none || others.families.empty())
            return c;
    }
    return choose_together(st, others, tick);
}

std::vector<candidate> candidates_of(const crypt_numbers &numbers, const crypt_structure &st,
                                     const search_result *counted, bool keep_zero, int skip,
                                     bool list_all)
{
    // Heads are decoded for this many; the rest are only counted.
    constexpr size_t decoded = 16, head = 64;
    std::vector<candidate> out;
    for (size_t r = 0; r < st.results.size(); ++r) {
        if (static_cast<int>(r) == skip)
            continue;
        candidate c;
        reading_matches m;
        for (size_t i = 0; i < st.readings.size(); ++i)
            if (st.readings[i].result == static_cast<int>(r)) {
                c.rounds.push_back(st.readings[i].rounds);
                if (counted)
                    m.merge(counted->of_reading(i));
            }
        if (c.rounds.empty() || (counted && m.seconds == 0 && !list_all))
            continue;
        c.searched = counted != nullptr && m.seconds > 0;
        c.seconds = m.seconds;
        c.nearest = m.nearest;
        c.text = st.results[r].text;
        bool drop = c.rounds.back() > 0 && st.results[r].ends_in_zero && !keep_zero;
        c.length = static_cast<uint64_t>(st.count) - drop;
        out.push_back(std::move(c));
    }
    std::stable_sort(out.begin(), out.end(), [](const candidate &a, const candidate &b) {
        return a.text != b.text ? a.text : a.rounds.back() > b.rounds.back();
    });
    std::vector<unsigned char> bytes;
    for (size_t k = 0; k < out.size() && k < decoded; ++k)
        if (decode_reading(numbers, st, out[k].rounds.back(), bytes))
            out[k].head.assign(bytes.begin(),
                               bytes.begin() + static_cast<long>(std::min<uint64_t>(out[k].length, head)));
    return out;
}

} // namespace gen
