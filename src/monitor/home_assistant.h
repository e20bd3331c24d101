// Home Assistant through an MQTT broker: one device per adapter, announced by retained
// discovery messages (a data-rate sensor for a remote, a connectivity sensor for every
// adapter), states on topics of their own and the monitor's availability with a last will.
// The client runs on its own thread, connects and reconnects with backoff, and a publish never
// waits for the broker: the scan goes on whatever the broker does. Every (re)connection
// announces the devices and their latest states again.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "monitor/readings.h"
#include "monitor/settings.h"

struct mosquitto;

namespace quorrel::monitor {

inline constexpr char kStateBase[] = "quorrel";
inline constexpr char kAvailabilityTopic[] = "quorrel/availability";

// One retained message.
struct Message {
  std::string topic;
  std::string payload;
  bool operator==(const Message&) const = default;
};

// The discovery messages for `a` (rate sensor for a remote, connectivity for every adapter)
// and its state messages.
std::vector<Message> discoveryMessages(const AdapterReading& a, const std::string& prefix);
std::vector<Message> stateMessages(const AdapterReading& a);

class HomeAssistantLink {
 public:
  // Starts the client's thread and the first connection attempt. A problem only when the
  // client cannot be set up (TLS files the library refuses); a broker that is down is retried.
  static std::unique_ptr<HomeAssistantLink> start(const Settings& s,
                                                  std::optional<Problem>& problem);
  // Says "offline", disconnects and stops the thread.
  ~HomeAssistantLink();
  HomeAssistantLink(const HomeAssistantLink&) = delete;
  HomeAssistantLink& operator=(const HomeAssistantLink&) = delete;

  // After each cycle: announces new or changed adapters, publishes every state.
  void publish(const std::vector<AdapterReading>& adapters);
  bool connected() const;

 private:
  explicit HomeAssistantLink(std::string prefix);
  static void onConnect(mosquitto* m, void* self, int rc);
  static void onDisconnect(mosquitto* m, void* self, int rc);
  void send(const Message& message);
  void announceAll();

  std::string prefix_;
  mosquitto* client_ = nullptr;
  std::mutex sendLock_;
  mutable std::mutex lock_;
  bool connected_ = false;
  std::map<std::string, AdapterReading> adapters_;  // by MAC text: the latest of each
  std::map<std::string, std::string> announced_;    // topic -> payload sent since connecting
};

}  // namespace quorrel::monitor
