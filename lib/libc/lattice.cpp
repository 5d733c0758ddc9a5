// The whole range of a 64-bit LCG that outputs high bits (lcg64_form),
// from its wanted first draws instead of through its 2^32 seeds.
//
// A first draw o says that the state X = mul t + add (mod 2^64) lies in
// an interval of width W = 2^(32 + shift), or in one of its copies every
// 2^(63 + shift) where the draw drops the top bits. The t in [0, 2^32)
// that reach an interval are the points of the lattice
// {(lambda t, mul t + k 2^64)}, lambda = W / 2^32, in a box of W by W: about
// one or two. With a reduced basis of the lattice, whose vectors are
// about as long as the box is wide, the points of a box are among a few
// integer combinations around its corner, each checked exactly. So each
// wanted draw costs a few dozen operations, and a round count (2^31 / 4011
// draws) some ten milliseconds, where a screen of the seeds costs a second.
#include <algorithm>
#include <cmath>

#include "family.hpp"

namespace gen {

namespace {

using i128 = __int128;

struct vec {
    i128 x, y;
};

long double norm2(const vec &v)
{
    return static_cast<long double>(v.x) * static_cast<long double>(v.x) +
           static_cast<long double>(v.y) * static_cast<long double>(v.y);
}

long double dot(const vec &a, const vec &b)
{
    return static_cast<long double>(a.x) * static_cast<long double>(b.x) +
           static_cast<long double>(a.y) * static_cast<long double>(b.y);
}

// Everything that depends on the form alone.
struct lattice {
    vec b1, b2;           // reduced basis
    double det, inverse_det, b1x, b2x; // det = b1.x b2.y - b1.y b2.x
    i128 lambda, width;   // lambda = W / 2^32, width = W
    double lo[2], hi[2];  // the box's extent in basis coordinates, from its corner
    int copies;               // intervals per draw
    uint64_t period;          // between copies (0 for one)

    explicit lattice(const lcg64_form &g)
    {
        width = i128{1} << (32 + g.shift);
        lambda = i128{1} << g.shift;
        copies = 1 << (1 - g.shift);
        period = copies > 1 ? uint64_t{1} << (63 + g.shift) : 0;
        // Lagrange's reduction, the multiples rounded in long double: each
        // step is exact, and it stops when no multiple shortens.
        b1 = {lambda, static_cast<i128>(g.mul)};
        b2 = {0, i128{1} << 64};
        for (;;) {
            if (norm2(b1) > norm2(b2))
                std::swap(b1, b2);
            long double mu = std::round(dot(b1, b2) / norm2(b1));
            if (mu == 0)
                break;
            i128 m = static_cast<i128>(mu);
            b2 = {b2.x - m * b1.x, b2.y - m * b1.y};
        }
        det = static_cast<double>(b1.x * b2.y - b1.y * b2.x);
        inverse_det = 1 / det;
        b1x = static_cast<double>(b1.x);
        b2x = static_cast<double>(b2.x);
        lo[0] = lo[1] = 0;
        hi[0] = hi[1] = 0;
        const double wx = static_cast<double>(lambda << 32), wy = static_cast<double>(width);
        for (double cx : {0.0, wx})
            for (double cy : {0.0, wy}) {
                double a, b;
                coords(cx, cy, a, b);
                lo[0] = std::min(lo[0], a);
                hi[0] = std::max(hi[0], a);
                lo[1] = std::min(lo[1], b);
                hi[1] = std::max(hi[1], b);
            }
    }

    // (x, y) = a b1 + b b2.
    void coords(double x, double y, double &a, double &b) const
    {
        a = (x * static_cast<double>(b2.y) - y * b2x) / det;
        b = (b1x * y - static_cast<double>(b1.y) * x) / det;
    }

    // Appends t - start for every t in [0, 2^32) with mul t + add - low
    // (mod 2^64) below W.
    void seeds_from(const lcg64_form &g, uint64_t low, std::vector<uint32_t> &out) const
    {
        const uint64_t corner = low - g.add;  // y of the box's corner, mod 2^64
        // The corner's coordinates, and so the combinations around the
        // box: doubles are off by less than 2^-20 here (the corner to 2^-53
        // of 2^64, over a determinant of 2^64 and more), so a margin of
        // 2^-10 keeps every point. Each is then checked exactly.
        constexpr double margin = 1.0 / 1024;
        const double y = static_cast<double>(corner);
        const double a0 = -y * b2x * inverse_det, b0 = y * b1x * inverse_det;
        const int64_t ia = static_cast<int64_t>(std::floor(a0 + lo[0] - margin));
        const int64_t ib = static_cast<int64_t>(std::floor(b0 + lo[1] - margin));
        const int64_t na = static_cast<int64_t>(std::floor(a0 + hi[0] + margin)) - ia;
        const int64_t nb = static_cast<int64_t>(std::floor(b0 + hi[1] + margin)) - ib;
        // x stays within 2^40 in the basis's few steps: 64 bits do.
        const int64_t top = int64_t{1} << (32 + g.shift), bx1 = static_cast<int64_t>(b1.x),
                      bx2 = static_cast<int64_t>(b2.x);
        const i128 y0 = corner, y1 = y0 + width;
        // Near the box, though its terms are not.
        int64_t px = static_cast<int64_t>(static_cast<i128>(ia) * b1.x + static_cast<i128>(ib) * b2.x);
        i128 py = static_cast<i128>(ia) * b1.y + static_cast<i128>(ib) * b2.y;
        for (int64_t i = 0; i <= na; ++i, px += bx1, py += b1.y) {
            int64_t x = px;
            i128 yy = py;
            for (int64_t j = 0; j <= nb; ++j, x += bx2, yy += b2.y)
                if (x >= 0 && x < top && yy >= y0 && yy < y1)
                    out.push_back(static_cast<uint32_t>(static_cast<uint64_t>(x >> g.shift) - g.start));
        }
    }
};

} // namespace

bool lcg64_lattice_pays(const family &f, const round_set &set)
{
    // A screen of all seeds costs what some thirty counts cost this way.
    const lcg64_form &g = *f.lcg64;
    return g.state_shift == 0 && g.offset == 0 && g.mask == 0x7fffffff && set.flips == 0 && set.count <= 16;
}

void lcg64_whole_by_lattice(const family &f, uint64_t u, const round_set &set, std::vector<uint32_t> &out)
{
    const lcg64_form &g = *f.lcg64;
    const lattice lat(g);  // a few steps: cheap beside a unit
    const uint64_t most = g.mask, step = (most / f.units + 1);
    const uint64_t lo = u * step, hi = std::min(most + 1, lo + step);
    for (int i = 0; i < set.count; ++i) {
        uint64_t R = static_cast<uint64_t>(set.listed[i]);
        for (uint64_t o = lo + (R + 4011 - lo % 4011) % 4011; o < hi; o += 4011)
            for (int c = 0; c < lat.copies; ++c)
                lat.seeds_from(g, (o << (32 + g.shift)) + c * lat.period, out);
    }
}

} // namespace gen
