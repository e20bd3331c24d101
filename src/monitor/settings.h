// The monitor's settings: one table of keys, read from a file of `key = value` lines and from
// options of the same names, each value checked when it is set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorrel::monitor {

// What is wrong and why, for "quorrel-cli monitor: what: why".
struct Problem {
  std::string what;
  std::string why;
};

struct Endpoint {
  std::string host;  // an address or a name; IPv6 without brackets
  std::uint16_t port = 0;
  bool operator==(const Endpoint&) const = default;
};

inline constexpr char kDefaultListen[] = "127.0.0.1:9586";
inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::uint16_t kMqttTlsPort = 8883;

struct Settings {
  int interval = 0;         // 0: the preferences' scan interval
  int mapEveryMinutes = 0;  // 0: no network map
  std::string dataDir;
  std::optional<Endpoint> listen = Endpoint{"127.0.0.1", 9586};  // none: no metrics
  std::optional<Endpoint> mqtt;                                  // none: no broker
  std::string mqttUser;
  std::string mqttPassword;
  std::string mqttPasswordFile;
  std::string mqttTlsCa;
  bool mqttInsecure = false;
  std::string discoveryPrefix = "homeassistant";

  bool operator==(const Settings&) const = default;
};

struct SettingKey {
  std::string_view name;       // the file's key; the option is --name
  std::string_view valueName;  // empty: a yes/no flag
  std::string_view help;
};
inline constexpr SettingKey kSettingKeys[] = {
    {"interval", "N", "scan interval, overriding the preferences (1 to 32767)"},
    {"map-every", "MINUTES", "gather the network map this often (0: never)"},
    {"data-dir", "DIR", "folder of the device data file and the rate history"},
    {"listen", "ADDR:PORT", "where /metrics is served (default 127.0.0.1:9586; 'off': nowhere)"},
    {"mqtt", "HOST[:PORT]",
     "the MQTT broker Home Assistant listens to (default port 1883, 8883 "
     "with TLS)"},
    {"mqtt-user", "NAME", "user name at the broker"},
    {"mqtt-password", "PASSWORD", "password at the broker"},
    {"mqtt-password-file", "FILE", "file whose first line is the password at the broker"},
    {"mqtt-tls-ca", "FILE", "certificate authorities to check the broker's TLS certificate by"},
    {"mqtt-insecure", "", "accept a broker certificate for another host name"},
    {"discovery-prefix", "PREFIX", "Home Assistant's discovery prefix (default homeassistant)"},
};

// Sets `key` from `value`. A problem when the key is unknown or the value is not one it takes.
std::optional<Problem> applySetting(Settings& s, std::string_view key, std::string_view value);

// Applies every `key = value` line of `text` (blank lines and lines from '#' or ';' skipped);
// `source` names the file in a problem, with the line number.
std::optional<Problem> applySettingsText(Settings& s, std::string_view text,
                                         const std::string& source);
// The same for the file at `path`.
std::optional<Problem> applySettingsFile(Settings& s, const std::string& path);

// What needs the system: reads the password file into mqttPassword, checks the CA file can be
// read and that the broker's name is known. A name lookup that fails for the moment is no
// problem: the broker is retried.
std::optional<Problem> completeSettings(Settings& s);

// "HOST:PORT", "[V6]:PORT" or, with `defaultPort`, a host alone.
std::optional<Endpoint> parseEndpoint(std::string_view text,
                                      std::optional<std::uint16_t> defaultPort);
std::string formatEndpoint(const Endpoint& e);

}  // namespace quorrel::monitor
