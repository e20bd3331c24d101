// Calls the registration of every family file the build found.
#include "adapter-sim/core/family.h"

namespace quorrel::sim {

void registerAllFamilies(HandlerTable& table) {
#define QUORREL_SIM_FAMILY(stem) registerFamily_##stem(table);
#include "sim_families.inc"
#undef QUORREL_SIM_FAMILY
}

}  // namespace quorrel::sim
