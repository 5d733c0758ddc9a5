#include "search.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "encode.hpp"
#include "pairs.hpp"
#include "rand_model.hpp"
#include "screen.hpp"

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

search_result search_seconds(const crypt_structure &st, const search_plan &plan,
                             const std::function<void(uint64_t, uint64_t)> &tick)
{
    const size_t nr = st.readings.size();
    const std::vector<int> of = readings_by_rounds(st);
    round_set set;
    for (const auto &r : st.readings)
        set.add(r.rounds);
    const screen_ops &ops = best_screen();
    const uint64_t chunks = (plan.span + chunk_size - 1) / chunk_size;

    std::vector<chunk_result> results(static_cast<size_t>(chunks));
    std::atomic<uint64_t> next{0}, tried{0}, best{UINT64_MAX};
    std::atomic<int> running{0};
    std::mutex mu;
    std::condition_variable done_cv;

    auto work = [&] {
        std::vector<uint32_t> seeds;
        for (;;) {
            uint64_t c = next.fetch_add(1);
            if (c >= chunks || (plan.first_only && c > best.load()))
                break;
            uint64_t k0 = c * chunk_size, len = std::min(chunk_size, plan.span - k0);
            // Ranks k0 .. k0 + len - 1 are the seconds newest - k, downwards.
            uint32_t low = static_cast<uint32_t>(plan.newest - (k0 + len - 1));
            seeds.clear();
            if (plan.c_library)
                c_library_screen(low, len, set, seeds);
            else
                screen_seeds(ops, low, len, set, seeds);
            chunk_result &res = results[static_cast<size_t>(c)];
            // Newest first within the chunk.
            for (auto it = seeds.rbegin(); it != seeds.rend(); ++it) {
                uint32_t s = *it;
                int r = reading_of_second(st, of, s, plan.c_library);
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
                    uint64_t b = best.load();
                    while (c < b && !best.compare_exchange_weak(b, c)) {
                    }
                    break;
                }
            }
            tried += len;
        }
        std::lock_guard<std::mutex> lock(mu);
        if (--running == 0)
            done_cv.notify_all();
    };

    int jobs = plan.c_library ? 1 : std::max(1, plan.jobs);
    running = jobs;
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mu);
        while (!done_cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            lock.unlock();
            tick(tried.load(), plan.span);
            lock.lock();
        }
    }
    for (auto &t : threads)
        t.join();

    search_result out;
    out.readings.assign(nr, {});
    out.tried = tried.load();
    for (uint64_t c = 0; c < chunks; ++c) {
        const chunk_result &res = results[static_cast<size_t>(c)];
        if (res.seconds.empty())
            continue;
        if (plan.first_only && c > best.load())
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
                if (!out.found || static_cast<uint32_t>(plan.newest - s) <
                                      static_cast<uint32_t>(plan.newest - out.first)) {
                    out.found = true;
                    out.first = s;
                    out.first_reading = static_cast<int>(r);
                }
            }
        }
        if (plan.first_only)
            break;
    }
    return out;
}
