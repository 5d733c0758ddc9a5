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

constexpr uint64_t chunk_size = 1u << 22;
constexpr size_t examples = 5;

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

struct chunk_result {
    std::vector<uint64_t> seconds;               // per reading
    std::vector<std::vector<uint32_t>> earliest; // per reading, in order
};

} // namespace

std::vector<int> readings_by_rounds(const crypt_structure &st)
{
    std::vector<int> of(4011, -1);
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
    rand_model::generator g(s);
    return check(g.next() % 4011, [&] { return g.next(); });
}

namespace {

// What the threads of one search share.
struct search_state {
    const crypt_structure &st;
    const search_plan &plan;
    std::vector<int> of;
    round_set set;
    const screen_ops &ops;
    uint64_t chunks;
    std::vector<chunk_result> results;  // by chunk, in search order
    std::atomic<uint64_t> next{0}, tried{0}, best{UINT64_MAX};

    search_state(const crypt_structure &s, const search_plan &p)
        : st(s), plan(p), of(readings_by_rounds(s)), ops(best_screen()),
          chunks((p.span + chunk_size - 1) / chunk_size), results(static_cast<size_t>(chunks))
    {
        for (const auto &r : s.readings)
            set.add(r.rounds);
    }
};

// Screens chunk c of the search order and checks the seconds that pass
// with their later draws, newest first; with first_only, stops at the
// first match and lowers the best chunk to c.
void search_chunk(search_state &w, uint64_t c, std::vector<uint32_t> &seeds)
{
    const search_plan &plan = w.plan;
    uint64_t k0 = c * chunk_size, len = std::min(chunk_size, plan.span - k0);
    // Ranks k0 .. k0 + len - 1 are the seconds newest - k, downwards.
    uint32_t low = static_cast<uint32_t>(plan.newest - (k0 + len - 1));
    seeds.clear();
    if (plan.c_library)
        c_library_screen(low, len, w.set, seeds);
    else
        screen_seeds(w.ops, low, len, w.set, seeds);
    chunk_result &res = w.results[static_cast<size_t>(c)];
    const size_t nr = w.st.readings.size();
    for (auto it = seeds.rbegin(); it != seeds.rend(); ++it) {
        uint32_t s = *it;
        int r = reading_of_second(w.st, w.of, s, plan.c_library);
        if (r < 0)
            continue;
        if (res.seconds.empty()) {
            res.seconds.assign(nr, 0);
            res.earliest.assign(nr, {});
        }
        ++res.seconds[static_cast<size_t>(r)];
        auto &e = res.earliest[static_cast<size_t>(r)];
        if (e.size() < examples)
            e.push_back(s);
        if (plan.first_only) {
            uint64_t b = w.best.load();
            while (c < b && !w.best.compare_exchange_weak(b, c)) {
            }
            break;
        }
    }
    w.tried += len;
}

// Takes chunks in order until none is left, or none can come before the
// best match found.
void search_worker(search_state &w)
{
    std::vector<uint32_t> seeds;
    for (;;) {
        uint64_t c = w.next.fetch_add(1);
        if (c >= w.chunks || (w.plan.first_only && c > w.best.load()))
            return;
        search_chunk(w, c, seeds);
    }
}

// Runs jobs workers, calling tick from this thread until they are done.
void run_workers(search_state &w, int jobs, const std::function<void(uint64_t, uint64_t)> &tick)
{
    std::atomic<int> running{jobs};
    std::mutex mu;
    std::condition_variable done_cv;
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back([&] {
            search_worker(w);
            std::lock_guard<std::mutex> lock(mu);
            if (--running == 0)
                done_cv.notify_all();
        });
    {
        std::unique_lock<std::mutex> lock(mu);
        while (!done_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            lock.unlock();
            tick(w.tried.load(), w.plan.span);
            lock.lock();
        }
    }
    for (auto &t : threads)
        t.join();
}

// The chunks' results in search order: the counts and first few matches
// of every reading, and the first match of all (up to the best chunk
// when first_only). The same whatever the threads did.
search_result merge_chunks(const search_state &w)
{
    const size_t nr = w.st.readings.size();
    search_result out;
    out.readings.assign(nr, {});
    out.tried = w.tried.load();
    for (uint64_t c = 0; c < w.chunks; ++c) {
        const chunk_result &res = w.results[static_cast<size_t>(c)];
        if (res.seconds.empty())
            continue;
        if (w.plan.first_only && c > w.best.load())
            break;
        for (size_t r = 0; r < nr; ++r) {
            auto &o = out.readings[r];
            o.seconds += res.seconds[r];
            for (uint32_t s : res.earliest[r])
                if (o.earliest.size() < examples)
                    o.earliest.push_back(s);
        }
        if (!out.found) {
            // The chunk's newest match, over all readings.
            for (size_t r = 0; r < nr; ++r) {
                if (res.earliest[r].empty())
                    continue;
                uint32_t s = res.earliest[r].front();
                if (!out.found || static_cast<uint32_t>(w.plan.newest - s) <
                                      static_cast<uint32_t>(w.plan.newest - out.first)) {
                    out.found = true;
                    out.first = s;
                    out.first_reading = static_cast<int>(r);
                }
            }
        }
        if (w.plan.first_only)
            break;
    }
    return out;
}

} // namespace

search_result search_seconds(const crypt_structure &st, const search_plan &plan,
                             const std::function<void(uint64_t, uint64_t)> &tick)
{
    search_state w(st, plan);
    run_workers(w, plan.c_library ? 1 : std::max(1, plan.jobs), tick);
    return merge_chunks(w);
}

} // namespace gen
