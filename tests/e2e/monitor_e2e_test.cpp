// quorrel-cli monitor over a veth pair against adapter-sim, with a real MQTT broker and the
// Prometheus checker: what Home Assistant and a Prometheus server would be given, a station
// that goes silent, and a broker that goes away and comes back while the scan goes on.
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/sim_pair_test.h"

namespace quorrel::e2e {
namespace {

// Raw AV rates x 200 / 151 as Mbps: 410 -> 543, 120 -> 159, 90 -> 119.
const char* kNetwork =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 410 395\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 4\nrate 120\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 4\nrate 90\nleave_at_ms 8000\n";

bool installed(const char* program) {
  int status = 0;
  runShell(std::string("command -v ") + program, status);
  return status == 0;
}

class MonitorE2eTest : public SimPairTest {
 protected:
  // The monitor and the broker end with the test, whatever became of it.
  void TearDown() override {
    for (const char* pid : {"/monitor.pid", "/broker.pid"}) {
      int status = 0;
      runShell("test -s " + dir + pid + " && kill $(cat " + dir + pid + ")", status);
    }
    SimPairTest::TearDown();
  }
  // `command` in the host namespace, where the monitor and the broker listen on loopback.
  std::string inHost(const std::string& command, int* status = nullptr) const {
    int s = 0;
    std::string out = runShell("ip netns exec " + pair.hostNamespace() + " " + command, s);
    if (status != nullptr) *status = s;
    return out;
  }
  void startBroker() { inHost("mosquitto -c " + dir + "/broker.conf -d"); }
  void stopBroker() {
    inHost("sh -c 'kill $(cat " + dir + "/broker.pid); while kill -0 $(cat " + dir +
           "/broker.pid) 2>/dev/null; do sleep 0.1; done'");
  }
  // The retained messages, topic -> payload.
  std::map<std::string, std::string> retained() const {
    std::map<std::string, std::string> out;
    std::istringstream lines(inHost("mosquitto_sub -p " + std::to_string(mqttPort) +
                                    " -h 127.0.0.1 -v -t 'homeassistant/#' -t 'quorrel/#' "
                                    "--retained-only -W 1"));
    for (std::string line; std::getline(lines, line);)
      if (const auto space = line.find(' '); space != std::string::npos)
        out[line.substr(0, space)] = line.substr(space + 1);
    return out;
  }
  // Polls the retained messages until `topic` holds `payload` (at most about a minute).
  bool waitFor(const std::string& topic, const std::string& payload) const {
    for (int i = 0; i < 80; ++i) {
      const auto r = retained();
      if (r.count(topic) != 0 && r.at(topic) == payload) return true;
      usleep(500000);
    }
    return false;
  }
  // The settings file: `line`, and /metrics at metricsPort.
  void writeSettings(const std::string& line) const {
    std::ofstream(dir + "/monitor.conf")
        << "# as the service reads it\nlisten = 127.0.0.1:" << metricsPort << "\n"
        << line << "\n";
  }
  template <typename Condition>
  static bool eventually(Condition holds) {
    for (int i = 0; i < 100; ++i) {
      if (holds()) return true;
      usleep(100000);
    }
    return false;
  }
  std::string scrape() const {
    return inHost("python3 -c \"import urllib.request as u; print(u.urlopen('http://127.0.0.1:" +
                  std::to_string(metricsPort) + "/metrics').read().decode(), end='')\"");
  }
  // The value of the series whose line starts with `series`, or -1.
  static double valueOf(const std::string& metrics, const std::string& series) {
    const auto at = metrics.find(series);
    if (at == std::string::npos) return -1;
    return std::stod(metrics.substr(metrics.find("} ", at) + 2));
  }

  int mqttPort = 20000 + getpid() % 10000;
  int metricsPort = mqttPort + 1;
};

TEST_F(MonitorE2eTest, HomeAssistantAndPrometheusSeeEveryAdapterThroughABrokerRestart) {
  for (const char* program : {"mosquitto", "mosquitto_sub", "promtool", "python3"})
    if (!installed(program)) GTEST_SKIP() << program << " is not installed";
  startOnLinks(kNetwork);
  std::ofstream(dir + "/broker.conf")
      << "listener " << mqttPort << " 127.0.0.1\n"
      << "allow_anonymous true\nuser root\npid_file " << dir << "/broker.pid\n";
  inHost("ip link set lo up");
  startBroker();
  writeSettings("mqtt = 127.0.0.1:" + std::to_string(mqttPort));
  inHost("env QUORREL_ADAPTER_LOCK=" + dir +
         "/adapters.lock " QUORREL_CLI_PATH " monitor --interval 3 --config " + dir +
         "/monitor.conf --data-dir " + dir + " >" + dir + "/monitor.txt 2>&1 & echo $! >" + dir +
         "/monitor.pid");

  // Every adapter announced, with its state.
  ASSERT_TRUE(waitFor("quorrel/00b052200004/connected", "ON"))
      << inHost("cat " + dir + "/monitor.txt");
  ASSERT_TRUE(waitFor("quorrel/availability", "online"));
  auto r = retained();
  const std::map<std::string, int> rates{{"00b052200002", 543}, {"00b052200003", 159}};
  for (const auto& [id, mbps] : rates) {
    EXPECT_NEAR(std::stod(r["quorrel/" + id + "/rate"]), mbps, 1.0) << id;
    EXPECT_EQ(r["quorrel/" + id + "/connected"], "ON") << id;
    const auto sensor = nlohmann::json::parse(
        r["homeassistant/sensor/quorrel_" + id + "/rate/config"], nullptr, false);
    ASSERT_FALSE(sensor.is_discarded()) << id;
    EXPECT_EQ(sensor["unit_of_measurement"], "Mbit/s");
    EXPECT_EQ(sensor["device_class"], "data_rate");
    EXPECT_EQ(sensor["state_class"], "measurement");
    EXPECT_EQ(sensor["unique_id"], "quorrel_" + id + "_rate");
    EXPECT_EQ(sensor["state_topic"], "quorrel/" + id + "/rate");
    EXPECT_EQ(sensor["availability_topic"], "quorrel/availability");
    EXPECT_EQ(sensor["device"]["identifiers"][0], "quorrel_" + id);
    EXPECT_EQ(sensor["device"]["model"], "HomePlug AV B200 Device");
    EXPECT_FALSE(sensor["device"]["sw_version"].get<std::string>().empty());
    const auto link = nlohmann::json::parse(
        r["homeassistant/binary_sensor/quorrel_" + id + "/connected/config"], nullptr, false);
    ASSERT_FALSE(link.is_discarded()) << id;
    EXPECT_EQ(link["device_class"], "connectivity");
    EXPECT_EQ(link["device"], sensor["device"]);
  }
  EXPECT_EQ(r.count("homeassistant/binary_sensor/quorrel_00b052100001/connected/config"), 1u);

  const std::string metrics = scrape();
  int status = 0;
  std::ofstream(dir + "/metrics.txt") << metrics;
  EXPECT_EQ(runShell("promtool check metrics <" + dir + "/metrics.txt", status), "");
  EXPECT_EQ(status, 0);
  const std::string remote = "{family=\"HomePlug AV B200 Device\",interface=\"" +
                             pair.hostInterface() + "\",local_mac=\"00:B0:52:10:00:01\",mac=\"";
  EXPECT_NEAR(valueOf(metrics, "quorrel_remote_rate_bytes_per_second" + remote +
                                   "00:B0:52:20:00:02\",name=\""),
              543 * 125000.0, 125000.0)
      << metrics;
  EXPECT_TRUE(has(metrics, "quorrel_local_adapter_present{family=\"HomePlug AV B200 Device\""));

  // The station that leaves is reported gone; the broker goes away and comes back empty.
  EXPECT_TRUE(waitFor("quorrel/00b052200004/connected", "OFF"));
  stopBroker();
  const std::string cycles =
      "quorrel_scan_cycles_total{interface=\"" + pair.hostInterface() + "\"}";
  const double before = valueOf(scrape(), cycles);
  double during = before;
  for (int i = 0; i < 100 && during < before + 10; ++i) during = valueOf(scrape(), cycles);
  EXPECT_GE(during, before + 10) << "the scan stopped while the broker was away";
  startBroker();
  EXPECT_TRUE(waitFor("quorrel/00b052200002/rate", r["quorrel/00b052200002/rate"]));
  EXPECT_TRUE(waitFor("quorrel/00b052200004/connected", "OFF"));
  r = retained();
  EXPECT_EQ(r.count("homeassistant/sensor/quorrel_00b052200003/rate/config"), 1u);

  // SIGHUP: a bad settings file is refused and the old settings stay; a good one is taken.
  writeSettings("colour = blue");
  inHost("sh -c 'kill -HUP $(cat " + dir + "/monitor.pid)'");
  EXPECT_TRUE(eventually(
      [&] { return has(inHost("cat " + dir + "/monitor.txt"), "unknown setting 'colour'"); }));
  EXPECT_TRUE(has(scrape(), "quorrel_scan_cycles_total"));
  metricsPort += 2;
  writeSettings("mqtt = 127.0.0.1:" + std::to_string(mqttPort));
  inHost("sh -c 'kill -HUP $(cat " + dir + "/monitor.pid)'");
  EXPECT_TRUE(eventually([&] { return has(scrape(), "quorrel_scan_cycles_total"); }));

  // A stop ends at a safe point; the history kept every cycle, also those without a broker.
  const double total = valueOf(scrape(), cycles);
  inHost("sh -c 'kill $(cat " + dir + "/monitor.pid); while kill -0 $(cat " + dir +
         "/monitor.pid) 2>/dev/null; do sleep 0.1; done'");
  EXPECT_TRUE(waitFor("quorrel/availability", "offline"));
  stopBroker();
  const auto history = nlohmann::json::parse(
      cli("history 00:B0:52:20:00:02 --json --since 1h --data-dir " + dir), nullptr, false);
  ASSERT_FALSE(history.is_discarded());
  EXPECT_GE(static_cast<double>(history["samples"].size()), total);
}

}  // namespace
}  // namespace quorrel::e2e
