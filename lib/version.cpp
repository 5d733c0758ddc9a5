#include "gen/gen.hpp"
#include "gen/version.hpp"

namespace gen {

const char *version() { return GEN_VERSION; }

} // namespace gen
