// quorrel-capture: started by quorrel-utility and quorrel-cli with a socket as its standard
// input; it ends when they go.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "helper_loop.h"

int main(int argc, char**) {
  const pid_t parent = getppid();
  // Set here, not by the parent: starting a program with capabilities clears it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) return 0;  // the parent went before the line above
  signal(SIGPIPE, SIG_IGN);
  struct stat st {};
  if (argc != 1 || fstat(STDIN_FILENO, &st) != 0 || !S_ISSOCK(st.st_mode)) {
    std::fprintf(stderr,
                 "quorrel-capture captures HomePlug frames for quorrel-utility and quorrel-cli, "
                 "which start it; it is not run by hand.\n");
    return 2;
  }
  return quorrel::capture_helper::serve(STDIN_FILENO);
}
