#include "search.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>

#include "screen.hpp"

namespace gen {

namespace {

// Threads take chunks; kernels screen pieces of them, so that a wide set
// of counts keeps few seeds at a time.
constexpr uint64_t chunk_size = 1u << 22, piece_size = 1u << 16;

// How many flips the kernels that make every draw of a step test side by
// side besides the round count; 0 for a narrow set of counts, screened by
// the round count alone, as cheap as before. Each flip costs those
// kernels what the first draw does; a seed that passes costs some 70
// times that to test one by one for the rest. So a wide set (a crypt that
// reads as many) is screened by as many as keep the total least; then
// every kernel tests every flip it can (the others side by side as long as
// some seed of a vector passes), the seeds that pass them the rest.
int flips_to_screen(size_t readings, int count)
{
    if (count <= 2)
        return 0;
    const double pass = static_cast<double>(readings) / 4011, pairs = count / 2.0, check = 70;
    int best = 0;
    double least = 1 + check * pass;
    for (int f = 1; f <= round_set::eager_flips; ++f) {
        double cost = 1 + f + check * pass * std::pow(1 / pairs, f);
        if (cost < least) {
            least = cost;
            best = f;
        }
    }
    return best;
}

} // namespace

std::vector<int> readings_by_rounds(const crypt_structure &st)
{
    std::vector<int> of(round_modulus, -1);
    for (size_t i = 0; i < st.readings.size(); ++i)
        of[static_cast<size_t>(st.readings[i].rounds)] = static_cast<int>(i);
    return of;
}

int reading_of_second(const crypt_structure &st, const std::vector<int> &of, const family &f,
                      uint32_t s)
{
    // Most seconds fail at the first draw or the first flips: those come
    // cheaply, the draws in stages of growing length, and only seconds
    // that pass them all run the generator.
    int d[early_draws];
    f.early(s, d, 2);
    int R = d[0] % 4011;
    int r = of[static_cast<size_t>(R)];
    if (r < 0 || st.count <= 2 || R == 0)
        return r;
    int checked = 0;  // flips
    for (int draws : {2, 8, early_draws}) {
        int n = std::min(draws, R + 1);
        if (n > 2)
            f.early(s, d, n);
        for (int j = checked; j < n - 1; ++j)
            if (flipped_pair(d[j + 1], st.count) != st.flip(R, j))
                return -1;
        checked = n - 1;
        if (checked == R)
            return r;
    }
    rand_state g;
    f.seed(g, s);
    for (int k = 0; k <= checked; ++k)
        f.next(g);
    for (int j = checked; j < R; ++j)
        if (flipped_pair(f.next(g), st.count) != st.flip(R, j))
            return -1;
    return r;
}

void reading_matches::add(uint32_t s, uint64_t rank)
{
    ++seconds;
    if (ranks.size() < kept || rank < ranks.back()) {
        ranks.insert(std::upper_bound(ranks.begin(), ranks.end(), rank), rank);
        if (ranks.size() > kept)
            ranks.pop_back();
    }
    take_nearest(std::min<uint64_t>(rank, (1ull << 32) - rank), rank, s);
}

void reading_matches::take_nearest(uint64_t distance, uint64_t rank, uint32_t s)
{
    // Of two at the same distance, the one before newest.
    if (distance < nearest_distance || (distance == nearest_distance && rank < nearest_rank)) {
        nearest_distance = distance;
        nearest_rank = rank;
        nearest = s;
    }
}

void reading_matches::merge(const reading_matches &o)
{
    seconds += o.seconds;
    ranks.insert(ranks.end(), o.ranks.begin(), o.ranks.end());
    std::sort(ranks.begin(), ranks.end());
    ranks.resize(std::min(ranks.size(), kept));
    take_nearest(o.nearest_distance, o.nearest_rank, o.nearest);
}

search_result::match search_result::first() const
{
    match best;
    for (size_t f = 0; f < matches.size(); ++f)
        for (size_t r = 0; r < matches[f].size(); ++r)
            if (!matches[f][r].ranks.empty() && matches[f][r].ranks.front() < best.rank)
                best = {static_cast<int>(f), static_cast<int>(r), matches[f][r].ranks.front()};
    return best;
}

reading_matches search_result::of_reading(size_t r) const
{
    reading_matches all;
    for (const auto &f : matches)
        if (r < f.size())
            all.merge(f[r]);
    return all;
}

void search_result::merge(const search_result &o)
{
    if (matches.size() < o.matches.size())
        matches.resize(o.matches.size());
    for (size_t f = 0; f < o.matches.size(); ++f) {
        if (matches[f].size() < o.matches[f].size())
            matches[f].resize(o.matches[f].size());
        for (size_t r = 0; r < o.matches[f].size(); ++r)
            matches[f][r].merge(o.matches[f][r]);
    }
}

namespace {

// Runs work on jobs threads, calling tick(done(), total) from this one
// every so often until they are all done.
void run_threads(int jobs, const std::function<void()> &work, const std::function<uint64_t()> &done,
                 uint64_t total, const search_tick &tick)
{
    std::atomic<int> running{jobs};
    std::mutex mu;
    std::condition_variable done_cv;
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i) {
        try {
            threads.emplace_back([&] {
                work();
                std::lock_guard<std::mutex> lock(mu);
                if (--running == 0)
                    done_cv.notify_all();
            });
        } catch (const std::system_error &) {
            // The system has no more threads to give: those that started
            // share the work (the work does not depend on how many).
            running -= jobs - i;
            break;
        }
    }
    if (threads.empty()) {
        work();
        return;
    }
    {
        std::unique_lock<std::mutex> lock(mu);
        while (!done_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            lock.unlock();
            if (tick)
                tick(done(), total);
            lock.lock();
        }
    }
    for (auto &t : threads)
        t.join();
}

// What every search needs of the crypt's structure.
struct search_setup {
    const crypt_structure &st;
    const search_plan &plan;
    std::vector<int> of;
    round_set set;

    search_setup(const crypt_structure &s, const search_plan &p)
        : st(s), plan(p), of(readings_by_rounds(s))
    {
        // A wide set lets so many seeds through the first draw that
        // checking them one by one would cost minutes: the kernels test
        // the first flips as well.
        const int eager = flips_to_screen(s.readings.size(), s.count);
        set.screen_flips(eager > 0 ? round_set::most_flips : 0, s.count, eager);
        for (const auto &r : s.readings)
            set.add(r.rounds, [&](int k) { return s.flip(r.rounds, k); });
    }

    // No matches of `families` families (the plan's by default).
    search_result empty(size_t families = 0) const
    {
        search_result res;
        res.matches.assign(families ? families : plan.families.size(),
                           std::vector<reading_matches>(st.readings.size()));
        return res;
    }
    // Checks second s of family f, which passed the screen, into f's
    // matches; true if it matched.
    bool check(const family &f, uint32_t s, std::vector<reading_matches> &into) const
    {
        int r = reading_of_second(st, of, f, s);
        if (r < 0)
            return false;
        into[static_cast<size_t>(r)].add(s, rank(s));
        return true;
    }
    uint64_t rank(uint32_t s) const { return static_cast<uint32_t>(plan.newest - s); }
};

// In order: threads take chunks of ranks; with first_only none goes past
// the best chunk with a match.
struct in_order {
    const search_setup &w;
    uint64_t from, to;
    bool first_only;
    uint64_t chunks;
    std::vector<search_result> results;  // by chunk
    std::atomic<uint64_t> next{0}, tried{0}, best{UINT64_MAX};

    in_order(const search_setup &setup, uint64_t f, uint64_t t, bool first)
        : w(setup), from(f), to(t), first_only(first),
          chunks((t - f + chunk_size - 1) / chunk_size), results(static_cast<size_t>(chunks))
    {
    }

    // Screens chunk c a piece at a time with every family and checks the
    // seconds that pass in search order.
    void search_chunk(uint64_t c, std::vector<uint32_t> &seeds,
                      std::vector<std::pair<uint64_t, size_t>> &passed)
    {
        uint64_t k0 = from + c * chunk_size, len = std::min(chunk_size, to - k0);
        search_result &res = results[static_cast<size_t>(c)] = w.empty();
        for (uint64_t k = k0; k < k0 + len; k += piece_size) {
            uint64_t n = std::min(piece_size, k0 + len - k);
            // Ranks k .. k + n - 1 are the seconds newest - k, downwards.
            uint32_t low = static_cast<uint32_t>(w.plan.newest - (k + n - 1));
            passed.clear();
            for (size_t f = 0; f < w.plan.families.size(); ++f) {
                const family &fam = *w.plan.families[f];
                seeds.clear();
                // The piece may wrap from 2^32 - 1 to 0.
                uint64_t head = std::min<uint64_t>(n, (1ull << 32) - low);
                best_kernels(fam).seeds(fam, low, head, w.set, seeds);
                if (head < n)
                    best_kernels(fam).seeds(fam, 0, n - head, w.set, seeds);
                for (uint32_t s : seeds)
                    passed.emplace_back(w.rank(s), f);
            }
            tried += n;
            std::sort(passed.begin(), passed.end());
            for (const auto &[rank, f] : passed)
                if (w.check(*w.plan.families[f], static_cast<uint32_t>(w.plan.newest - rank), res.matches[f]) &&
                    first_only) {
                    uint64_t b = best.load();
                    while (c < b && !best.compare_exchange_weak(b, c)) {
                    }
                    return;
                }
        }
    }

    void worker()
    {
        std::vector<uint32_t> seeds;
        std::vector<std::pair<uint64_t, size_t>> passed;
        for (;;) {
            uint64_t c = next.fetch_add(1);
            if (c >= chunks || (first_only && c > best.load()))
                return;
            search_chunk(c, seeds, passed);
        }
    }

    // The chunks' results up to the best one: the same whatever the
    // threads did.
    search_result merged() const
    {
        search_result out = w.empty();
        for (uint64_t c = 0; c < chunks && !(first_only && c > best.load()); ++c)
            out.merge(results[static_cast<size_t>(c)]);
        return out;
    }
};

// Whether a shared walk already screened f.
const std::vector<reading_matches> *walked_before(const search_plan &plan, const family *f)
{
    if (!plan.shared)
        return nullptr;
    const auto &walked = plan.shared->walked;
    auto at = std::find(walked.begin(), walked.end(), f);
    return at == walked.end() ? nullptr : &plan.shared->matches[static_cast<size_t>(at - walked.begin())];
}

// By units: threads take the work units of every family, each keeping its
// own matches. A family whose walk the plan's shared riders share takes
// them along; one that such a walk screened before takes its matches from
// there.
struct by_units {
    const search_setup &w;
    std::vector<const family *> fams;         // the plan's, then the riders taken along
    std::vector<std::vector<size_t>> along;   // by plan family: its riders, as indexes in fams
    // By plan family: its matches from a walk before, or null.
    std::vector<const std::vector<reading_matches> *> before;
    std::vector<std::pair<size_t, uint64_t>> items;  // (family, unit)
    std::atomic<uint64_t> next{0}, tried{0};
    uint64_t total = 0;
    std::vector<search_result> per_thread;

    by_units(const search_setup &setup, int jobs) : w(setup), fams(setup.plan.families)
    {
        const search_plan &plan = w.plan;
        along.resize(fams.size());
        for (size_t f = 0; f < plan.families.size(); ++f) {
            before.push_back(walked_before(plan, fams[f]));
            if (before.back())
                continue;
            if (plan.shared)
                take_riders(f);
            for (uint64_t u = 0; u < fams[f]->units; ++u)
                items.emplace_back(f, u);
            total += 1ull << 32;
        }
        per_thread.assign(static_cast<size_t>(jobs), w.empty(fams.size()));
    }

    // The shared riders that plan family f's walk screens as well: those
    // with the same walk that neither the plan holds nor another walk took.
    // Only for a set screened by the first draw alone: where the flips are
    // screened too, each seed that passes costs more than the walk's sums
    // (every rider's flips tested, its many passing seconds checked), and
    // taking a rider along would slow every search of the first plan for
    // what only a later one may use.
    void take_riders(size_t f)
    {
        if (w.set.flips > 0)
            return;
        auto walk = best_kernels(*fams[f]).walk;
        for (const family *r : w.plan.shared->riders)
            if (walk && best_kernels(*r).walk == walk && along[f].size() + 1 < most_forms &&
                std::find(fams.begin(), fams.end(), r) == fams.end() && !walked_before(w.plan, r)) {
                along[f].push_back(fams.size());
                fams.push_back(r);
            }
    }

    void worker(search_result &res)
    {
        std::vector<uint32_t> seeds[most_forms];
        for (uint64_t i; (i = next.fetch_add(1)) < items.size();) {
            auto [f, u] = items[i];
            const family *walked[most_forms] = {fams[f]};
            size_t index[most_forms] = {f};
            int n = 1;
            for (size_t r : along[f]) {
                walked[n] = fams[r];
                index[n++] = r;
            }
            for (auto &s : seeds)
                s.clear();
            if (n == 1)
                best_kernels(*fams[f]).whole(*fams[f], u, w.set, seeds[0]);
            else
                best_kernels(*fams[f]).walk(walked, n, u, w.set, seeds);
            for (int k = 0; k < n; ++k)
                for (uint32_t s : seeds[k])
                    if (w.rank(s) < w.plan.span)
                        w.check(*walked[k], s, res.matches[index[k]]);
            tried += (1ull << 32) / fams[f]->units;
        }
    }

    // The plan's matches: the threads', and those a shared walk screened
    // before; the riders' go to the shared walk.
    search_result finish()
    {
        search_result all = w.empty(fams.size());
        for (const auto &r : per_thread)
            all.merge(r);
        const search_plan &plan = w.plan;
        // Before the riders' go in, which may move those screened before.
        for (size_t f = 0; f < plan.families.size(); ++f)
            if (before[f])
                all.matches[f] = *before[f];
        for (size_t r = plan.families.size(); r < fams.size(); ++r) {
            plan.shared->walked.push_back(fams[r]);
            plan.shared->matches.push_back(all.matches[r]);
        }
        all.matches.resize(plan.families.size());
        return all;
    }
};

} // namespace

search_result search_in_order(const crypt_structure &st, const search_plan &plan, uint64_t from,
                              uint64_t to, bool first_only, const search_tick &tick)
{
    search_setup setup(st, plan);
    in_order search(setup, from, to, first_only);
    run_threads(
        std::max(1, plan.jobs), [&] { search.worker(); }, [&] { return search.tried.load(); },
        to - from, tick);
    return search.merged();
}

search_result search_by_units(const crypt_structure &st, const search_plan &plan,
                              const search_tick &tick)
{
    search_setup setup(st, plan);
    int jobs = std::max(1, plan.jobs);
    by_units search(setup, jobs);
    std::atomic<int> thread{0};
    run_threads(
        jobs, [&] { search.worker(search.per_thread[static_cast<size_t>(thread++)]); },
        [&] { return search.tried.load(); }, search.total, tick);
    return search.finish();
}

search_result search_seconds(const crypt_structure &st, const search_plan &plan, bool first_only,
                             const search_tick &tick)
{
    uint64_t window = std::min(day_window, plan.span);
    search_result res = search_in_order(st, plan, 0, window, false, tick);
    if (window == plan.span || (first_only && res.found()))
        return res;
    // Going by units screens every second at once, several times faster
    // than seed by seed, which pays for the rest of all but short ranges
    // of glibc, whose screen by seed is vectorised too.
    bool glibc_alone = plan.families.size() == 1 && plan.families[0] == &glibc_family();
    if (glibc_alone && plan.span <= (1ull << 32) / 8) {
        res.merge(search_in_order(st, plan, window, plan.span, first_only, tick));
        return res;
    }
    return search_by_units(st, plan, tick);
}

} // namespace gen
