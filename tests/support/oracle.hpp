// A plain model of a whole encoding run, written directly on mpz_class,
// to check the program against.
#pragma once

#include <cstdlib>
#include <gmpxx.h>
#include <string>
#include <vector>

struct encoding {
    int rounds;
    std::string progress;  // standard output
    std::string crypt;
};

inline encoding reference(const std::string &flag, unsigned seed)
{
    encoding e;
    srand(seed);
    e.rounds = rand() % 4011;
    std::vector<mpz_class> v;
    for (unsigned char c : flag)
        v.emplace_back(c);
    for (int j = 0; j < e.rounds; ++j) {
        e.progress += std::to_string(j) + "/" + std::to_string(e.rounds) + "\n";
        if (v.size() % 2)
            v.emplace_back(0);
        for (size_t k = 0; k < v.size(); k += 2) {
            mpz_class a = v[k], b = v[k + 1];
            v[k] = a + b;
            v[k + 1] = a - b;
        }
        int r = rand();
        if (!v.empty()) {
            mpz_class &x = v[(r % static_cast<int>(v.size())) | 1];
            x = x ^ 1;
        }
    }
    for (size_t i = v.size(); i-- > 0;)
        e.crypt += v[i].get_str() + " ";
    return e;
}
