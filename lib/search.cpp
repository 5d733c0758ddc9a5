#include "search.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "rand_model.hpp"
#include "screen.hpp"

namespace gen {

namespace {

// Threads take chunks; kernels screen pieces of them, so that a wide set
// of counts keeps few seeds at a time. Each orbit piece starts eight
// windows afresh, so its pieces are longer.
constexpr uint64_t chunk_size = 1u << 22, piece_size = 1u << 16, orbit_piece = 1u << 20;

template <class Draw>
bool draws_match(const crypt_structure &st, int R, Draw draw)
{
    // With one pair (or none) every draw names it.
    if (st.count <= 2)
        return true;
    for (int j = 0; j < R; ++j) {
        int r = draw();
        if (flipped_pair(r, st.count) != st.flip(R, j))
            return false;
    }
    return true;
}

// The C library's own kernel: one srand() and rand() per seed.
void c_library_screen(uint32_t first, uint64_t count, const round_set &set,
                      std::vector<uint32_t> &out)
{
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t s = static_cast<uint32_t>(first + i);
        srand(s);
        if (set.member[draw_rounds()])
            out.push_back(s);
    }
}

} // namespace

std::vector<int> readings_by_rounds(const crypt_structure &st)
{
    std::vector<int> of(round_modulus, -1);
    for (size_t i = 0; i < st.readings.size(); ++i)
        of[static_cast<size_t>(st.readings[i].rounds)] = static_cast<int>(i);
    return of;
}

int reading_of_second(const crypt_structure &st, const std::vector<int> &of, uint32_t s,
                      bool c_library)
{
    auto check = [&](int R, auto draw) {
        int r = of[static_cast<size_t>(R)];
        return r >= 0 && draws_match(st, R, draw) ? r : -1;
    };
    if (c_library) {
        srand(s);
        return check(draw_rounds(), [] { return rand(); });
    }
    // Most seconds fail at the first flip: its draw comes straight from the
    // words, and only those that pass run the generator.
    uint32_t w[rand_model::words];
    rand_model::seed_words(s, w);
    int R = rand_model::early_draw(0, w) % 4011;
    if (of[static_cast<size_t>(R)] < 0)
        return -1;
    if (st.count > 2 && R > 0 &&
        flipped_pair(rand_model::early_draw(1, w), st.count) != st.flip(R, 0))
        return -1;
    rand_model::generator g(s);
    return check(g.next() % 4011, [&] { return g.next(); });
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

int search_result::first_reading() const
{
    int best = -1;
    for (size_t r = 0; r < readings.size(); ++r)
        if (!readings[r].ranks.empty() &&
            (best < 0 || readings[r].ranks.front() < readings[static_cast<size_t>(best)].ranks.front()))
            best = static_cast<int>(r);
    return best;
}

uint32_t search_result::first(uint32_t newest) const
{
    return static_cast<uint32_t>(newest - readings[static_cast<size_t>(first_reading())].ranks.front());
}

void search_result::merge(const search_result &o)
{
    if (readings.size() < o.readings.size())
        readings.resize(o.readings.size());
    for (size_t r = 0; r < o.readings.size(); ++r)
        readings[r].merge(o.readings[r]);
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
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back([&] {
            work();
            std::lock_guard<std::mutex> lock(mu);
            if (--running == 0)
                done_cv.notify_all();
        });
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
        for (const auto &r : s.readings)
            set.add(r.rounds);
    }

    // Checks a second that passed the screen; true if it matched.
    bool check(uint32_t s, uint64_t rank, search_result &into) const
    {
        int r = reading_of_second(st, of, s, plan.c_library);
        if (r < 0)
            return false;
        if (into.readings.empty())
            into.readings.resize(st.readings.size());
        into.readings[static_cast<size_t>(r)].add(s, rank);
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

    // Screens chunk c a piece at a time and checks the seconds that pass,
    // newest first.
    void search_chunk(uint64_t c, std::vector<uint32_t> &seeds)
    {
        uint64_t k0 = from + c * chunk_size, len = std::min(chunk_size, to - k0);
        search_result &res = results[static_cast<size_t>(c)];
        for (uint64_t k = k0; k < k0 + len; k += piece_size) {
            uint64_t n = std::min(piece_size, k0 + len - k);
            // Ranks k .. k + n - 1 are the seconds newest - k, downwards.
            uint32_t low = static_cast<uint32_t>(w.plan.newest - (k + n - 1));
            seeds.clear();
            if (w.plan.c_library)
                c_library_screen(low, n, w.set, seeds);
            else
                screen_seeds(best_screen(), low, n, w.set, seeds);
            tried += n;
            for (auto it = seeds.rbegin(); it != seeds.rend(); ++it)
                if (w.check(*it, w.rank(*it), res) && first_only) {
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
        for (;;) {
            uint64_t c = next.fetch_add(1);
            if (c >= chunks || (first_only && c > best.load()))
                return;
            search_chunk(c, seeds);
        }
    }

    // The chunks' results up to the best one: the same whatever the
    // threads did.
    search_result merged() const
    {
        search_result out;
        out.readings.resize(w.st.readings.size());
        for (uint64_t c = 0; c < chunks && !(first_only && c > best.load()); ++c)
            out.merge(results[static_cast<size_t>(c)]);
        return out;
    }
};

// By orbit: threads take chunks of windows, each keeping its own matches.
struct by_orbit {
    const search_setup &w;
    uint64_t chunks = (rand_model::orbit_length + chunk_size - 1) / chunk_size;
    std::atomic<uint64_t> next{0}, tried{0};
    std::vector<search_result> per_thread;

    by_orbit(const search_setup &setup, int jobs) : w(setup), per_thread(static_cast<size_t>(jobs))
    {
    }

    void worker(search_result &res)
    {
        std::vector<uint32_t> seeds;
        const screen_ops &ops = best_screen();
        for (uint64_t c; (c = next.fetch_add(1)) < chunks;) {
            uint64_t end = std::min((c + 1) * chunk_size, rand_model::orbit_length);
            for (uint64_t k = c * chunk_size; k < end; k += orbit_piece) {
                uint64_t n = std::min(orbit_piece, end - k);
                seeds.clear();
                ops.orbit(k, n, w.set, seeds);
                for (uint32_t s : seeds)
                    if (w.rank(s) < w.plan.span)
                        w.check(s, w.rank(s), res);
                tried += 2 * n;
            }
        }
    }
};

} // namespace

search_result search_in_order(const crypt_structure &st, const search_plan &plan, uint64_t from,
                              uint64_t to, bool first_only, const search_tick &tick)
{
    search_setup setup(st, plan);
    in_order search(setup, from, to, first_only);
    run_threads(
        plan.c_library ? 1 : std::max(1, plan.jobs), [&] { search.worker(); },
        [&] { return search.tried.load(); }, to - from, tick);
    return search.merged();
}

search_result search_by_orbit(const crypt_structure &st, const search_plan &plan,
                              const search_tick &tick)
{
    search_setup setup(st, plan);
    int jobs = std::max(1, plan.jobs);
    by_orbit search(setup, jobs);
    std::atomic<int> thread{0};
    run_threads(
        jobs, [&] { search.worker(search.per_thread[static_cast<size_t>(thread++)]); },
        [&] { return search.tried.load(); }, 1ull << 32, tick);
    search_result out;
    out.readings.resize(st.readings.size());
    std::vector<uint32_t> odd;
    screen_odd_seeds(setup.set, odd);
    for (uint32_t s : odd)
        if (setup.rank(s) < plan.span)
            setup.check(s, setup.rank(s), out);
    for (const auto &r : search.per_thread)
        out.merge(r);
    return out;
}

search_result search_seconds(const crypt_structure &st, const search_plan &plan, bool first_only,
                             const search_tick &tick)
{
    uint64_t window = std::min(day_window, plan.span);
    search_result res = search_in_order(st, plan, 0, window, false, tick);
    if (window == plan.span || (first_only && res.found()))
        return res;
    // The orbit screens every second at once, several times faster than
    // seed by seed, which pays for the rest of all but short ranges.
    if (plan.c_library || plan.span <= (1ull << 32) / 8) {
        res.merge(search_in_order(st, plan, window, plan.span, first_only, tick));
        return res;
    }
    return search_by_orbit(st, plan, tick);
}

} // namespace gen
