// Two network namespaces joined by a veth pair, for tests and benchmarks that must put real
// frames on a wire without touching any interface of the machine. The host side is where the
// code under test runs; the sim side is where adapter-sim (or a responder) answers.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::e2e {

// Why namespace tests cannot run here (not root, no `ip netns`); empty when they can.
std::string netnsUnavailableReason();
// Runs `command` through the shell with its standard error joined to its output: that output,
// and the exit status in `status` (-1 when it did not exit).
std::string runShell(const std::string& command, int& status);

inline constexpr MacAddress kHostEndMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
inline constexpr MacAddress kSimEndMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x20};

class NetnsPair {
 public:
  // Names come from the process id: qh<pid> and qs<pid> (a suffix after the first pair of
  // this process), veth ends qvh<pid> and qvs<pid>.
  NetnsPair();
  ~NetnsPair();
  NetnsPair(const NetnsPair&) = delete;
  NetnsPair& operator=(const NetnsPair&) = delete;

  // Creates both namespaces and the veth pair between them, both ends up. The names are
  // recorded first for the cleanup that runs on signals, at exit and in the test run's
  // cleanup step.
  bool create(std::string& error);
  // Adds one more veth pair between the same two namespaces, both ends up: host end
  // qvh<id>l<k>, sim end qvs<id>l<k>, addresses of the first pair with k added to the last
  // byte. Returns the new link's index (the first pair is link 0), or -1 with `error`.
  int addLink(std::string& error);
  // Moves the calling thread (the whole of a single-threaded test) into the host namespace,
  // so it sees only the host veth end; leaveHost() returns it.
  bool enterHost(std::string& error);
  void leaveHost();
  // Stops the processes started in the pair, returns to the original namespace and deletes
  // both namespaces by name. Safe to call twice; the destructor calls it.
  void teardown();

  // Runs `body` in a child process inside the sim namespace; its exit code is body's result.
  // The child is killed at teardown if still running. -1 on failure.
  pid_t spawnInSim(const std::function<int()>& body);

  const std::string& hostNamespace() const { return hostNs_; }
  const std::string& simNamespace() const { return simNs_; }
  // Link k's ends; link 0 is the first pair.
  std::size_t linkCount() const { return hostIf_.size(); }
  const std::string& hostInterface(std::size_t k = 0) const { return hostIf_.at(k); }
  const std::string& simInterface(std::size_t k = 0) const { return simIf_.at(k); }

 private:
  std::string hostNs_, simNs_;
  std::vector<std::string> hostIf_, simIf_;
  bool created_ = false;
  int originalNs_ = -1;  // open while inside the host namespace
  std::vector<pid_t> children_;
};

// adapter-sim running in the sim namespace of a pair.
class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess() { stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts it on the sim veth end with `scenarioPath`, logging frames to `logPath` (none when
  // empty), and waits until it says "ready". On failure `error` says why.
  bool start(NetnsPair& pair, const std::string& scenarioPath, const std::string& logPath,
             std::string& error, int readyTimeoutMs = 10000) {
    return startOnLinks(pair, 1, scenarioPath, logPath, error, readyTimeoutMs);
  }
  // The same on the sim ends of links 0 to `links` - 1, one network of the scenario each.
  bool startOnLinks(NetnsPair& pair, std::size_t links, const std::string& scenarioPath,
                    const std::string& logPath, std::string& error, int readyTimeoutMs = 10000);
  // SIGTERM, then SIGKILL if it does not end within 3 s. Returns its exit status as waitpid
  // gave it, or -1 when it was not running.
  int stop();

 private:
  pid_t pid_ = -1;
};

// Stops a child: SIGTERM, SIGKILL after `graceMs`; returns the waitpid status or -1.
int stopChild(pid_t pid, int graceMs = 3000);

}  // namespace quorrel::e2e
