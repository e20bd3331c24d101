// A test fixture with a namespace pair, a scratch folder and adapter-sim on the far end.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "e2e/netns.h"
#include "transport/interface_table.h"

namespace quorrel::e2e {

// Whether `text` holds `part`, with the whole text shown either way.
inline ::testing::AssertionResult has(const std::string& text, const std::string& part) {
  return (text.find(part) != std::string::npos ? ::testing::AssertionSuccess()
                                               : ::testing::AssertionFailure())
         << "\"" << part << "\" in:\n"
         << text;
}

class SimPairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = netnsUnavailableReason(); !why.empty()) GTEST_SKIP() << why;
    std::string error;
    ASSERT_TRUE(pair.create(error)) << error;
    char dirTemplate[] = "/tmp/quorrel-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir = dirTemplate;
    logPath = dir + "/frames.log";
  }

  void TearDown() override {
    transport::resetInterfaceTable();
    sim.stop();
    pair.teardown();
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
  }

  // Writes `scenario` into the scratch folder and starts adapter-sim on it on the first
  // `links` veth pairs, logging every frame to logPath.
  void startOnLinks(const std::string& scenario, std::size_t links = 1) {
    const std::string path = dir + "/scenario.conf";
    std::ofstream(path) << scenario;
    std::string error;
    ASSERT_TRUE(sim.startOnLinks(pair, links, path, logPath, error)) << error;
  }
  // The same, then moves this process next to the host veth end and opens that end as
  // interface 0, the current one.
  void startSim(const std::string& scenario) {
    startOnLinks(scenario);
    std::string error;
    ASSERT_TRUE(pair.enterHost(error)) << error;
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::interfaceTable().interfaceCount, 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    transport::setCurrentInterface(0);
  }

  // quorrel-cli `args` in the host namespace after `env` (VAR=value words), with the scratch
  // folder as its data home; its output, with a failure when it does not exit with `want`.
  std::string cli(const std::string& args, int want = 0, const std::string& env = "") const {
    int status = 0;
    const std::string out =
        runShell("ip netns exec " + pair.hostNamespace() + " env XDG_DATA_HOME=" + dir +
                     " HOME=" + dir + " " + env + " " QUORREL_CLI_PATH " " + args,
                 status);
    EXPECT_EQ(status, want) << args << "\n" << out;
    return out;
  }
  // quorrel-cli `args` started in the background, sent Ctrl-C once adapter-sim has received
  // `frames` frames: its output, then "status N" and "received N" (frames by the end).
  std::string interrupted(const std::string& args, int frames) const {
    const std::string rx = "$(grep -cE '(^|: )rx ' " + logPath + ")";
    int status = 0;
    // A background job may start with SIGINT ignored; a terminal's Ctrl-C finds it default.
    return runShell("ip netns exec " + pair.hostNamespace() +
                        " env --default-signal=INT XDG_DATA_HOME=" + dir + " HOME=" + dir +
                        " " QUORREL_CLI_PATH " " + args + " >" + dir + "/out.txt 2>&1 & pid=$!; " +
                        "for i in $(seq 600); do [ " + rx + " -ge " + std::to_string(frames) +
                        " ] && break; sleep 0.1; done; kill -INT $pid; wait $pid; s=$?; cat " +
                        dir + "/out.txt; echo status $s; echo received " + rx,
                    status);
  }

  NetnsPair pair;
  SimProcess sim;
  std::string dir, logPath;
};

}  // namespace quorrel::e2e
