#include "monitor/home_assistant.h"

#include <mosquitto.h>
#include <unistd.h>

#include <cctype>
#include <nlohmann/json.hpp>

namespace quorrel::monitor {

namespace {

constexpr int kKeepAliveSeconds = 60;
constexpr unsigned kRetryFirstSeconds = 1;
constexpr unsigned kRetryMostSeconds = 60;

// 00b052200002: the MAC as a topic level and in unique ids.
std::string macId(const MacAddress& mac) {
  std::string id;
  for (char c : formatMac(mac))
    if (c != ':') id += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return id;
}

std::string stateTopic(const MacAddress& mac, const char* what) {
  return std::string(kStateBase) + "/" + macId(mac) + "/" + what;
}

std::string rateText(double mbps) {
  return std::to_string(static_cast<long>(mbps + 0.5));
}

}  // namespace

std::vector<Message> discoveryMessages(const AdapterReading& a, const std::string& prefix) {
  using json = nlohmann::ordered_json;
  const std::string id = macId(a.mac);
  std::string macText = formatMac(a.mac);
  for (char& c : macText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  json device = {
      {"identifiers", json::array({"quorrel_" + id})},
      {"connections", json::array({json::array({"mac", macText})})},
      {"name",
       a.name.empty() ? (a.local ? "Local adapter " : "Adapter ") + formatMac(a.mac) : a.name},
      {"model", a.family}};
  if (!a.firmware.empty()) device["sw_version"] = a.firmware;
  const auto entity = [&](const char* kind, const char* what, const char* name) {
    return json{{"name", name},
                {"unique_id", "quorrel_" + id + "_" + what},
                {"object_id", "quorrel_" + id + "_" + what},
                {"state_topic", stateTopic(a.mac, what)},
                {"availability_topic", kAvailabilityTopic},
                {"device", device},
                {"kind", kind}};
  };
  std::vector<Message> out;
  json connected = entity("binary_sensor", "connected", "Connectivity");
  connected.erase("kind");
  connected["device_class"] = "connectivity";
  connected["payload_on"] = "ON";
  connected["payload_off"] = "OFF";
  out.push_back({prefix + "/binary_sensor/quorrel_" + id + "/connected/config", connected.dump()});
  if (!a.local) {
    json rate = entity("sensor", "rate", "Data rate");
    rate.erase("kind");
    rate["device_class"] = "data_rate";
    rate["state_class"] = "measurement";
    rate["unit_of_measurement"] = "Mbit/s";
    out.push_back({prefix + "/sensor/quorrel_" + id + "/rate/config", rate.dump()});
  }
  return out;
}

std::vector<Message> stateMessages(const AdapterReading& a) {
  std::vector<Message> out{{stateTopic(a.mac, "connected"), a.answered ? "ON" : "OFF"}};
  if (!a.local) out.push_back({stateTopic(a.mac, "rate"), rateText(a.mbps)});
  return out;
}

HomeAssistantLink::HomeAssistantLink(std::string prefix) : prefix_(std::move(prefix)) {}

std::unique_ptr<HomeAssistantLink> HomeAssistantLink::start(const Settings& s,
                                                            std::optional<Problem>& problem) {
  static const int initialised = mosquitto_lib_init();
  (void)initialised;
  std::unique_ptr<HomeAssistantLink> link(new HomeAssistantLink(s.discoveryPrefix));
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string id = "quorrel-monitor-" + std::string(host) + "-" + std::to_string(::getpid());
  link->client_ = mosquitto_new(id.c_str(), true, link.get());
  const auto refuse = [&](const std::string& what, int rc) {
    problem = Problem{what, mosquitto_strerror(rc)};
    return nullptr;
  };
  if (link->client_ == nullptr) return refuse("the MQTT client cannot be made", MOSQ_ERR_NOMEM);
  mosquitto* m = link->client_;
  int rc = MOSQ_ERR_SUCCESS;
  if (!s.mqttUser.empty() &&
      (rc = mosquitto_username_pw_set(m, s.mqttUser.c_str(),
                                      s.mqttPassword.empty() ? nullptr : s.mqttPassword.c_str())))
    return refuse("the MQTT user name cannot be used", rc);
  if (!s.mqttTlsCa.empty()) {
    if ((rc = mosquitto_tls_set(m, s.mqttTlsCa.c_str(), nullptr, nullptr, nullptr, nullptr)))
      return refuse("the certificate file " + s.mqttTlsCa + " cannot be used", rc);
    if (s.mqttInsecure) mosquitto_tls_insecure_set(m, true);
  }
  const char offline[] = "offline";
  mosquitto_will_set(m, kAvailabilityTopic, sizeof offline - 1, offline, 1, true);
  mosquitto_reconnect_delay_set(m, kRetryFirstSeconds, kRetryMostSeconds, true);
  mosquitto_connect_callback_set(m, &HomeAssistantLink::onConnect);
  mosquitto_disconnect_callback_set(m, &HomeAssistantLink::onDisconnect);
  // A refused first attempt is no problem: the client's thread tries again with backoff.
  mosquitto_connect_async(m, s.mqtt->host.c_str(), s.mqtt->port, kKeepAliveSeconds);
  if ((rc = mosquitto_loop_start(m))) return refuse("the MQTT client cannot start", rc);
  return link;
}

HomeAssistantLink::~HomeAssistantLink() {
  if (client_ == nullptr) return;
  if (connected()) {
    const char offline[] = "offline";
    mosquitto_publish(client_, nullptr, kAvailabilityTopic, sizeof offline - 1, offline, 1, true);
  }
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
}

bool HomeAssistantLink::connected() const {
  std::lock_guard<std::mutex> held(lock_);
  return connected_;
}

void HomeAssistantLink::send(const Message& message) {
  // Not connected: the publish is refused at once and the next connection sends it again.
  mosquitto_publish(client_, nullptr, message.topic.c_str(),
                    static_cast<int>(message.payload.size()), message.payload.data(), 1, true);
}

void HomeAssistantLink::onConnect(mosquitto*, void* self, int rc) {
  auto* link = static_cast<HomeAssistantLink*>(self);
  if (rc != 0) return;  // refused (bad user or password): the client tries again later
  {
    std::lock_guard<std::mutex> held(link->lock_);
    link->connected_ = true;
    link->announced_.clear();
  }
  link->send({kAvailabilityTopic, "online"});
  link->announceAll();
}

void HomeAssistantLink::onDisconnect(mosquitto*, void* self, int) {
  auto* link = static_cast<HomeAssistantLink*>(self);
  std::lock_guard<std::mutex> held(link->lock_);
  link->connected_ = false;
}

void HomeAssistantLink::announceAll() {
  // One sender at a time, so an older state never lands after a newer one.
  std::lock_guard<std::mutex> sending(sendLock_);
  std::vector<Message> out;
  {
    std::lock_guard<std::mutex> held(lock_);
    if (!connected_) return;
    for (const auto& [mac, a] : adapters_) {
      for (Message& m : discoveryMessages(a, prefix_)) {
        std::string& sent = announced_[m.topic];
        if (sent == m.payload) continue;
        sent = m.payload;
        out.push_back(std::move(m));
      }
      for (Message& m : stateMessages(a)) out.push_back(std::move(m));
    }
  }
  for (const Message& m : out) send(m);
}

void HomeAssistantLink::publish(const std::vector<AdapterReading>& adapters) {
  {
    std::lock_guard<std::mutex> held(lock_);
    for (const AdapterReading& a : adapters) adapters_[formatMac(a.mac)] = a;
  }
  announceAll();
}

}  // namespace quorrel::monitor
