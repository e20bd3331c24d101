// No vendor layer is linked yet: the default Turbo operations call HandleHp1Frame directly.
#include "scan/brantle_link.h"

namespace quorrel::scan {

void linkHp1Handler() {}

}  // namespace quorrel::scan
