// Lookups over the region table.
#include "paramblock/region_map.h"

namespace quorrel::paramblock {

bool checkRegion(const ParameterRegion& region, ImageWindow& w) {
  const bool passed = region.check(w);
  return passed && !w.faulted();
}

const ParameterRegion* regionAt(std::size_t at) {
  for (const ParameterRegion& r : kParameterRegions)
    if (at >= r.offset && at - r.offset < r.size) return &r;
  return nullptr;
}

}  // namespace quorrel::paramblock
