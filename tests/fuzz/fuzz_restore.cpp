// libFuzzer target: round trips through the search. Up to 64 bytes are
// encoded at a second, then restored by searching a window that starts
// up to two days after it. The result must be those bytes, made by the
// second it names, or ambiguous, or no match where the window leaves the
// second out: never other bytes.
// The window (up to two days, glibc's draws) keeps each run short.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "gen/gen.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 12)
        return 0;
    uint32_t second, offset, window;
    memcpy(&second, data, 4);
    memcpy(&offset, data + 4, 4);
    memcpy(&window, data + 8, 4);
    offset %= 2 * 86400 + 1;
    window %= 2 * 86400 + 1;
    const unsigned char *flag = data + 12;
    size_t n = std::min<size_t>(size - 12, 64);

    std::string crypt = gen::encode(flag, n, second);
    gen::restore_options o;
    o.newest = second + offset;
    o.window = window;
    o.libc = {"glibc"};
    o.jobs = 1;
    gen::restored r = gen::restore(crypt, o);

    if (r.ok) {
        std::string got(r.bytes.begin(), r.bytes.end()), want(flag, flag + n);
        // Documented: a final 0 of an even length after some rounds may be
        // gen's padding, and goes.
        bool padding = n % 2 == 0 && n > 0 && flag[n - 1] == 0 && r.rounds > 0 &&
                       got == want.substr(0, n - 1);
        // Another second may make the same crypt (a crypt of one pair, say).
        if ((got != want && !padding) || gen::encode(flag, n, r.second) != crypt)
            __builtin_trap();
    } else if (r.kind == gen::status::no_match) {
        if (offset <= window)
            __builtin_trap();
    } else if (r.kind != gen::status::ambiguous) {
        __builtin_trap();
    }
    return 0;
}
