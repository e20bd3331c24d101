#include "monitor/settings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace quorrel::monitor {

namespace {

std::string_view trim(std::string_view t) {
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
  return t;
}

std::optional<long> number(std::string_view t, long low, long high) {
  long v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size() || v < low || v > high) return std::nullopt;
  return v;
}

bool isNumericAddress(const std::string& host) {
  unsigned char bytes[16];
  return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// Letters, digits, '-' and '.' in labels of at most 63, as a host name is written.
bool isHostName(std::string_view h) {
  if (h.empty() || h.size() > 253 || h.front() == '.' || h.front() == '-') return false;
  std::size_t label = 0;
  for (char c : h) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return true;
}

Problem badValue(std::string_view key, std::string_view value, std::string why) {
  return {"the setting " + std::string(key) + " cannot be '" + std::string(value) + "'",
          std::move(why)};
}

std::optional<bool> yesNo(std::string_view v) {
  if (v == "yes" || v == "true" || v == "on" || v == "1") return true;
  if (v == "no" || v == "false" || v == "off" || v == "0") return false;
  return std::nullopt;
}

}  // namespace

std::optional<Endpoint> parseEndpoint(std::string_view text,
                                      std::optional<std::uint16_t> defaultPort) {
  Endpoint e;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    e.host = std::string(text.substr(1, close - 1));
    rest = text.substr(close + 1);
    unsigned char bytes[16];
    if (::inet_pton(AF_INET6, e.host.c_str(), bytes) != 1) return std::nullopt;
  } else {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos)
      return std::nullopt;  // an IPv6 address needs its brackets before a port
    e.host = std::string(text.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    if (!isHostName(e.host) && !isNumericAddress(e.host)) return std::nullopt;
  }
  if (rest.empty()) {
    if (!defaultPort) return std::nullopt;
    e.port = *defaultPort;
    return e;
  }
  if (rest.front() != ':') return std::nullopt;
  const auto port = number(rest.substr(1), 1, 65535);
  if (!port) return std::nullopt;
  e.port = static_cast<std::uint16_t>(*port);
  return e;
}

std::string formatEndpoint(const Endpoint& e) {
  const bool v6 = e.host.find(':') != std::string::npos;
  return (v6 ? "[" + e.host + "]" : e.host) + ":" + std::to_string(e.port);
}

std::optional<Problem> applySetting(Settings& s, std::string_view key, std::string_view value) {
  value = trim(value);
  if (key == "interval") {
    const auto n = number(value, 1, 32767);
    if (!n) return badValue(key, value, "give a whole number from 1 to 32767");
    s.interval = static_cast<int>(*n);
  } else if (key == "map-every") {
    const auto n = number(value, 0, 7 * 24 * 60);
    if (!n) return badValue(key, value, "give minutes from 0 (never) to 10080 (a week)");
    s.mapEveryMinutes = static_cast<int>(*n);
  } else if (key == "data-dir") {
    s.dataDir = std::string(value);
  } else if (key == "listen") {
    if (value == "off") {
      s.listen.reset();
      return std::nullopt;
    }
    const auto e = parseEndpoint(value, std::nullopt);
    if (!e || !isNumericAddress(e->host))
      return badValue(key, value,
                      "give a numeric address and a port, as 127.0.0.1:9586 or [::1]:9586");
    s.listen = e;
  } else if (key == "mqtt") {
    if (value.empty() || value == "off") {
      s.mqtt.reset();
      return std::nullopt;
    }
    const auto e = parseEndpoint(value, std::uint16_t{0});
    if (!e)
      return badValue(key, value, "give a broker's host name or address, and a port if not 1883");
    s.mqtt = e;
  } else if (key == "mqtt-user") {
    s.mqttUser = std::string(value);
  } else if (key == "mqtt-password") {
    s.mqttPassword = std::string(value);
  } else if (key == "mqtt-password-file") {
    s.mqttPasswordFile = std::string(value);
  } else if (key == "mqtt-tls-ca") {
    s.mqttTlsCa = std::string(value);
  } else if (key == "mqtt-insecure") {
    const auto b = yesNo(value);
    if (!b) return badValue(key, value, "give yes or no");
    s.mqttInsecure = *b;
  } else if (key == "discovery-prefix") {
    if (value.empty() || value.find_first_of("#+") != std::string_view::npos ||
        value.front() == '/' || value.back() == '/')
      return badValue(key, value, "give a topic without wildcards or a leading or trailing '/'");
    s.discoveryPrefix = std::string(value);
  } else {
    return Problem{"unknown setting '" + std::string(key) + "'",
                   "see the settings in quorrel-cli monitor --help"};
  }
  return std::nullopt;
}

std::optional<Problem> applySettingsText(Settings& s, std::string_view text,
                                         const std::string& source) {
  int lineNumber = 0;
  std::istringstream in{std::string(text)};
  for (std::string raw; std::getline(in, raw);) {
    ++lineNumber;
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const std::size_t eq = line.find('=');
    const std::string where = source + ": line " + std::to_string(lineNumber);
    if (eq == std::string_view::npos) return Problem{where, "a setting is written key = value"};
    if (auto p = applySetting(s, trim(line.substr(0, eq)), line.substr(eq + 1))) {
      p->what = where + ": " + p->what;
      return p;
    }
  }
  return std::nullopt;
}

std::optional<Problem> applySettingsFile(Settings& s, const std::string& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  for (char buffer[4096]; fd >= 0;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0 || text.size() > (1u << 20)) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  if (fd >= 0) ::close(fd);
  if (error != 0)
    return Problem{"the settings file " + path + " cannot be read", std::strerror(error)};
  return applySettingsText(s, text, path);
}

std::optional<Problem> completeSettings(Settings& s) {
  if (!s.mqtt) return std::nullopt;
  if (s.mqtt->port == 0) s.mqtt->port = s.mqttTlsCa.empty() ? kMqttPort : kMqttTlsPort;
  if (!s.mqttPasswordFile.empty()) {
    std::ifstream in(s.mqttPasswordFile);
    std::string line;
    if (!in || !std::getline(in, line))
      return Problem{"the password file " + s.mqttPasswordFile + " cannot be read",
                     in ? "it is empty" : std::strerror(errno)};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    s.mqttPassword = line;
  }
  if (!s.mqttTlsCa.empty() && !std::ifstream(s.mqttTlsCa))
    return Problem{"the certificate file " + s.mqttTlsCa + " cannot be read", std::strerror(errno)};
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int r = ::getaddrinfo(s.mqtt->host.c_str(), nullptr, &hints, &found);
  if (found != nullptr) ::freeaddrinfo(found);
  if (r == EAI_NONAME || r == EAI_FAIL)
    return Problem{"the broker " + s.mqtt->host + " cannot be found", ::gai_strerror(r)};
  return std::nullopt;
}

}  // namespace quorrel::monitor
