#include "restore.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>

#include "decode.hpp"
#include "fail.hpp"
#include "numbers.hpp"
#include "progress.hpp"
#include "rand_model.hpp"
#include "scan.hpp"
#include "search.hpp"
#include "structure.hpp"

namespace {

constexpr int most_rounds = 4010;

std::string utc(uint32_t s)
{
    time_t t = s;
    char buf[40];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", gmtime(&t));
    return buf;
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

void finish(std::vector<unsigned char> &bytes, int R, const char *name, const restore_options &o)
{
    if (drop_padding(bytes, R, o.keep_zero))
        warn(name, "dropped a final 0 byte that may be gen's padding (--keep-zero keeps it)");
}

std::vector<unsigned char> restore_at(int fd, const char *name, const restore_options &o)
{
    int R = rounds_at(o.time);
    std::string no_match = "no encoding run matches second " + std::to_string(o.time);
    crypt_numbers numbers;
    try {
        numbers = read_numbers(fd, max_digits(R), 2 * static_cast<size_t>(R));
    } catch (const bad_crypt &e) {
        if (!e.too_long)
            throw;
        die(name, (no_match + " (at byte " + std::to_string(e.offset) + ", a number longer than " +
                   std::to_string(R) + " rounds make)")
                      .c_str());
    }
    std::vector<unsigned char> bytes;
    if (!decode_at(numbers, o.time, bytes))
        die(name, no_match.c_str());
    if (o.verbose)
        warn(name, ("second " + std::to_string(o.time) + ", " + std::to_string(R) + " rounds").c_str());
    finish(bytes, R, name, o);
    return bytes;
}

} // namespace

std::vector<unsigned char> restore(int fd, const char *name, const restore_options &o)
{
    try {
        if (o.have_time)
            return restore_at(fd, name, o);
        crypt_numbers numbers =
            read_numbers(fd, max_digits(most_rounds), 2 * static_cast<size_t>(most_rounds));
        crypt_structure st = read_structure(numbers);
        if (st.readings.empty())
            die(name, "not a crypt of gen: no round count undoes its numbers");
        int groups;
        std::vector<int> group = group_readings(st, groups);

        if (o.unverified) {
            // The deepest reading: a shallower one is what an input of small
            // bytes (text, say) looks like before its last rounds.
            const auto &r = st.readings.back();
            std::string msg = "decoded from its structure alone (" + std::to_string(r.rounds) +
                              " rounds); nothing was verified";
            if (groups > 1)
                msg += "; " + std::to_string(groups) + " different results fit, this is the one with the most rounds";
            warn(name, msg.c_str());
            std::vector<unsigned char> bytes = r.bytes;
            finish(bytes, r.rounds, name, o);
            return bytes;
        }

        search_plan plan;
        plan.newest = o.newest;
        plan.span = o.have_window ? std::min<uint64_t>(o.window + 1, 1ull << 32) : 1ull << 32;
        plan.jobs = o.jobs;
        plan.first_only = true;
        if (!rand_model::agrees_with_c_library()) {
            warn("rand", "the C library's generator is not the one modelled; searching with "
                         "the C library itself, on one thread (slow)");
            plan.c_library = true;
        }
        search_result res;
        {
            progress_line line(true);
            auto tick = [&](uint64_t done, uint64_t total) { line.update(done, total); };
            res = search_seconds(st, plan, tick);
            // Another result is worth counting only where some second could
            // give it at all; then every second is counted.
            if (res.found)
                for (size_t r = 0; r < st.readings.size(); ++r)
                    if (group[r] != group[static_cast<size_t>(res.first_reading)] &&
                        possible_by_chance(st.readings[r].rounds, st.count)) {
                        plan.first_only = false;
                        res = search_seconds(st, plan, tick);
                        break;
                    }
        }
        if (!res.found) {
            std::string where =
                plan.span == 1ull << 32
                    ? "any second gen can be seeded with"
                    : "the seconds from " + std::to_string(static_cast<uint32_t>(o.newest - plan.span + 1)) +
                          " to " + std::to_string(o.newest);
            die(name, ("no encoding run matches " + where).c_str());
        }

        // The model chose; the C library confirms.
        std::vector<unsigned char> bytes;
        const auto &chosen = st.readings[static_cast<size_t>(res.first_reading)];
        if (!decode_at(numbers, res.first, bytes) || bytes != chosen.bytes)
            die(name, ("second " + std::to_string(res.first) +
                       " fits the model of rand() but not the C library's own: nothing written")
                          .c_str());

        std::vector<bool> seen(static_cast<size_t>(groups));
        uint64_t seconds = 0;
        for (size_t r = 0; r < res.readings.size(); ++r)
            if (res.readings[r].seconds > 0) {
                seen[static_cast<size_t>(group[r])] = true;
                seconds += res.readings[r].seconds;
            }
        int results = static_cast<int>(std::count(seen.begin(), seen.end(), true));
        if (results > 1) {
            // The first few matching seconds in search order, over all readings.
            std::vector<uint32_t> all;
            for (const auto &r : res.readings)
                all.insert(all.end(), r.earliest.begin(), r.earliest.end());
            std::sort(all.begin(), all.end(), [&](uint32_t a, uint32_t b) {
                return static_cast<uint32_t>(o.newest - a) < static_cast<uint32_t>(o.newest - b);
            });
            all.resize(std::min<size_t>(all.size(), 5));
            std::string list;
            for (uint32_t s : all)
                list += (list.empty() ? "" : ", ") + std::to_string(s);
            warn(name, ("ambiguous: " + std::to_string(seconds) + " seconds give " +
                        std::to_string(results) + " different results (first seconds: " + list +
                        "); writing the result of the first")
                           .c_str());
        }
        if (o.verbose)
            warn(name, ("second " + std::to_string(res.first) + " (" + utc(res.first) + "), " +
                        std::to_string(chosen.rounds) + " rounds")
                           .c_str());
        finish(bytes, chosen.rounds, name, o);
        return bytes;
    } catch (const bad_crypt &e) {
        die(name, ("byte " + std::to_string(e.offset) + ": " + e.what).c_str());
    } catch (const read_error &e) {
        die_errno(name, e.err);
    }
}
