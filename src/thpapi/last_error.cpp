// One exchange runs at a time, so a plain process-wide value is enough.
#include "thpapi/last_error.h"

namespace quorrel::thpapi {

namespace {
int lastErrorValue = 0;
}  // namespace

int lastError() {
  return lastErrorValue;
}
void setLastError(int error) {
  lastErrorValue = error;
}
void resetLastError() {
  lastErrorValue = 0;
}

}  // namespace quorrel::thpapi
