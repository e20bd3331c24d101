// The capture helper's work: answer the program on one socket until it goes.
#pragma once

namespace quorrel::capture_helper {

// Says hello on `fd`, then lists, opens, sends and delivers frames as asked. Returns 0 when the
// program closes its end, 1 on a malformed message (after which nothing more is sent).
int serve(int fd);

}  // namespace quorrel::capture_helper
