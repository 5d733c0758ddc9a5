// Encodes a buffer as gen would at a given second, then restores it with
// the second, by searching back from an hour later, and fails on a crypt
// that is not one. Build it against an installed gen: see README.
#include <cstdio>
#include <gen/gen.hpp>

int main()
{
    const unsigned char flag[] = "hello, library";
    std::string crypt = gen::encode(flag, sizeof flag - 1, 1765200000);

    gen::restore_options at, near;
    at.second = 1765200000;
    near.newest = 1765200000 + 3600;
    for (const gen::restore_options &o : {at, near}) {
        gen::restored r = gen::restore(crypt, o);
        printf("%s: %.*s (second %u)\n", r.ok ? "ok" : r.message.c_str(),
               static_cast<int>(r.bytes.size()), reinterpret_cast<const char *>(r.bytes.data()),
               r.second);
    }
    gen::restored bad = gen::restore("12 x ");
    printf("not a crypt: %s\n", bad.message.c_str());
    return bad.kind == gen::status::malformed ? 0 : 1;
}
