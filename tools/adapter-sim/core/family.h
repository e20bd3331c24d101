// What a message family file needs: the table it fills and the simulation it answers for.
// Each file in core/families defines `void registerFamily_<file stem>(HandlerTable&)`; the
// build lists the files in sim_families.inc and calls every one, so a new family is only a
// new file.
#pragma once

#include "adapter-sim/core/network.h"
#include "adapter-sim/core/wire.h"

namespace quorrel::sim {
#define QUORREL_SIM_FAMILY(stem) void registerFamily_##stem(HandlerTable& table);
#include "sim_families.inc"
#undef QUORREL_SIM_FAMILY
}  // namespace quorrel::sim
