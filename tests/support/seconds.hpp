// Finding the seconds whose seeding gives a wanted round count.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

// The first second from `from` on whose first rand() draw after srand()
// gives R rounds. Uses the C library's own generator, as gen does.
inline long second_for_rounds(int R, long from = 1700000000)
{
    for (long t = from;; ++t) {
        srand(static_cast<unsigned>(t));
        if (rand() % 4011 == R)
            return t;
    }
}

// t as "YYYY-MM-DD hh:mm:ss" in UTC, the form faketime takes with TZ=UTC.
inline std::string utc_stamp(long t)
{
    time_t tt = t;
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", gmtime(&tt));
    return buf;
}
