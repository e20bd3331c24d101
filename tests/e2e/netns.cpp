// Namespace pairs made with `ip`, removed with plain system calls so that the same removal can
// run from a signal handler.
#include "e2e/netns.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace quorrel::e2e {

namespace {

constexpr const char* kNetnsDir = "/run/netns/";

// The namespaces the signal handler and atexit may remove: fixed storage, no allocation there.
// (Children need no list: they die with this process.)
constexpr std::size_t kNameSize = 32;
std::array<std::array<char, kNameSize>, 16> tracked{};
// The process that made the namespaces. A child forked into the pair inherits the handlers;
// when it is stopped it must not take the pair down with it.
volatile pid_t owner = 0;

// Takes a free slot for `name` (on) or frees the slots holding it (off).
void markNamespace(const std::string& name, bool on) {
  for (auto& slot : tracked)
    if (on && slot[0] == '\0') {
      std::snprintf(slot.data(), slot.size(), "%s", name.c_str());
      return;
    } else if (!on && name == slot.data()) {
      slot[0] = '\0';
    }
}

// What `ip netns delete` does: detach the bind mount that keeps the namespace alive, remove
// its file. Async-signal-safe.
void removeNamespace(const char* name) {
  char path[sizeof("/run/netns/") + kNameSize] = "/run/netns/";
  std::size_t n = std::strlen(path);
  for (std::size_t i = 0; name[i] != '\0' && n + 1 < sizeof path; ++i) path[n++] = name[i];
  path[n] = '\0';
  umount2(path, MNT_DETACH);
  unlink(path);
}

void cleanupEverything() {
  if (getpid() != owner) return;
  for (auto& slot : tracked)
    if (slot[0] != '\0') {
      removeNamespace(slot.data());
      slot[0] = '\0';
    }
}

void onFatalSignal(int sig) {
  cleanupEverything();
  signal(sig, SIG_DFL);
  raise(sig);
}

void installCleanup() {
  if (owner != 0) return;
  owner = getpid();
  std::atexit(cleanupEverything);
  for (int sig : {SIGINT, SIGTERM, SIGABRT, SIGSEGV, SIGBUS, SIGHUP}) {
    struct sigaction sa {};
    sa.sa_handler = onFatalSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

// The run's list of names, so the run's cleanup step can remove what a killed test left.
void recordForRun(const std::string& name) {
  std::ofstream(QUORREL_E2E_RUN_LIST, std::ios::app) << name << "\n";
}

// Runs a command (fixed words, each quoted) through the shell; true on exit status 0, else
// false with its output and status in `error`.
bool run(const std::vector<std::string>& args, std::string& error) {
  std::string command;
  for (const auto& a : args) command += (command.empty() ? "'" : " '") + a + "'";
  int status = 0;
  const std::string output = runShell(command + " </dev/null", status);
  if (status == 0) return true;
  error = command + " failed (status " + std::to_string(status) + "): " + output;
  return false;
}

std::string pidSuffix() {
  static int pairs = 0;
  const int n = pairs++;
  return std::to_string(getpid()) + (n == 0 ? "" : "_" + std::to_string(n));
}

// A veth pair from the host namespace's end `hostIf` to `simIf` in the sim namespace, both up.
bool addVeth(const std::string& hostNs, const std::string& simNs, const std::string& hostIf,
             const std::string& simIf, const MacAddress& hostMac, const MacAddress& simMac,
             std::string& error) {
  return run({"ip", "-n", hostNs, "link", "add", hostIf, "address", formatMac(hostMac), "type",
              "veth", "peer", "name", simIf, "address", formatMac(simMac), "netns", simNs},
             error) &&
         run({"ip", "-n", hostNs, "link", "set", hostIf, "up"}, error) &&
         run({"ip", "-n", simNs, "link", "set", simIf, "up"}, error);
}

}  // namespace

std::string netnsUnavailableReason() {
  if (geteuid() != 0) return "needs root to create network namespaces";
  std::string error;
  if (!run({"ip", "netns", "list"}, error)) return "ip netns is not available: " + error;
  return {};
}

std::string runShell(const std::string& command, int& status) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return status = -1, out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  const int raw = pclose(p);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

NetnsPair::NetnsPair() {
  const std::string id = pidSuffix();
  hostNs_ = "qh" + id;
  simNs_ = "qs" + id;
  hostIf_ = {"qvh" + id};
  simIf_ = {"qvs" + id};
}

NetnsPair::~NetnsPair() {
  teardown();
}

bool NetnsPair::create(std::string& error) {
  if (created_) return true;
  installCleanup();
  for (const auto* ns : {&hostNs_, &simNs_}) {
    recordForRun(*ns);
    markNamespace(*ns, true);
  }
  created_ = true;  // from here on teardown removes whatever was made
  if (run({"ip", "netns", "add", hostNs_}, error) && run({"ip", "netns", "add", simNs_}, error) &&
      addVeth(hostNs_, simNs_, hostIf_[0], simIf_[0], kHostEndMac, kSimEndMac, error))
    return true;
  teardown();
  return false;
}

int NetnsPair::addLink(std::string& error) {
  const std::size_t k = linkCount();
  const std::string hostIf = hostIf_[0] + "l" + std::to_string(k);
  const std::string simIf = simIf_[0] + "l" + std::to_string(k);
  MacAddress hostMac = kHostEndMac, simMac = kSimEndMac;
  hostMac[5] = static_cast<std::uint8_t>(hostMac[5] + k);
  simMac[5] = static_cast<std::uint8_t>(simMac[5] + k);
  // The veth ends live in the namespaces and go with them at teardown.
  if (!addVeth(hostNs_, simNs_, hostIf, simIf, hostMac, simMac, error)) return -1;
  hostIf_.push_back(hostIf);
  simIf_.push_back(simIf);
  return static_cast<int>(k);
}

bool NetnsPair::enterHost(std::string& error) {
  if (originalNs_ >= 0) return true;
  originalNs_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  const std::string path = kNetnsDir + hostNs_;
  const int target = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (originalNs_ < 0 || target < 0 || setns(target, CLONE_NEWNET) != 0) {
    error = "cannot enter " + path + ": " + std::strerror(errno);
    if (target >= 0) close(target);
    if (originalNs_ >= 0) close(originalNs_);
    originalNs_ = -1;
    return false;
  }
  close(target);
  return true;
}

void NetnsPair::leaveHost() {
  if (originalNs_ < 0) return;
  if (setns(originalNs_, CLONE_NEWNET) != 0)
    std::fprintf(stderr, "cannot return to the original network namespace: %s\n",
                 std::strerror(errno));
  close(originalNs_);
  originalNs_ = -1;
}

pid_t NetnsPair::spawnInSim(const std::function<int()>& body) {
  const std::string path = kNetnsDir + simNs_;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // Dies with its parent, however the parent ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) _exit(126);
    close(fd);
    std::fflush(nullptr);
    _exit(body());
  }
  children_.push_back(pid);
  return pid;
}

void NetnsPair::teardown() {
  for (pid_t pid : children_) stopChild(pid, 1000);
  children_.clear();
  leaveHost();
  if (!created_) return;
  for (const auto* ns : {&hostNs_, &simNs_}) {
    removeNamespace(ns->c_str());
    markNamespace(*ns, false);
  }
  created_ = false;
}

int stopChild(pid_t pid, int graceMs) {
  if (pid <= 0) return -1;
  int status = 0;
  // Only a child not yet reaped is signalled: a reaped pid may already be someone else's.
  const pid_t early = waitpid(pid, &status, WNOHANG);
  if (early == pid) return status;
  if (early < 0) return -1;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;  // already reaped
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  return waitpid(pid, &status, 0) == pid ? status : -1;
}

bool SimProcess::startOnLinks(NetnsPair& pair, std::size_t links, const std::string& scenarioPath,
                              const std::string& logPath, std::string& error, int readyTimeoutMs) {
  if (pid_ > 0) stop();
  std::vector<std::string> args = {
      "ip",         "netns",     "exec", pair.simNamespace(), QUORREL_ADAPTER_SIM_PATH,
      "--scenario", scenarioPath};
  for (std::size_t k = 0; k < links && k < pair.linkCount(); ++k)
    args.insert(args.end(), {"--interface", pair.simInterface(k)});
  if (!logPath.empty()) args.insert(args.end(), {"--log", logPath});
  // What it says goes to a file beside the scenario, read until it says "ready", then removed.
  const std::string saidPath = scenarioPath + ".said";
  pid_ = pair.spawnInSim([&] {
    const int out = open(saidPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0) return 126;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    return 127;
  });
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(readyTimeoutMs);
  for (std::string said; pid_ > 0 && said.find("ready\n") == std::string::npos;) {
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended != 0 || std::chrono::steady_clock::now() > deadline) {
      if (ended == 0) status = stop();
      pid_ = -1;
      std::remove(saidPath.c_str());
      error = "adapter-sim did not get ready (status " + std::to_string(status) + ", said \"" +
              said + "\")";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(saidPath);
    said.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::remove(saidPath.c_str());
  if (pid_ < 0) error = "fork: " + std::string(std::strerror(errno));
  return pid_ > 0;
}

int SimProcess::stop() {
  if (pid_ <= 0) return -1;
  const int status = stopChild(pid_);
  pid_ = -1;
  return status;
}

}  // namespace quorrel::e2e
