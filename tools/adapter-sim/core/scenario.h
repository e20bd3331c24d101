// What the simulated powerline network holds: the adapter attached to the host, the stations
// behind it, and how badly it is told to behave.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adapter-sim/core/daily_pattern.h"
#include "adapter-sim/core/modules.h"
#include "platform/bytes.h"

namespace quorrel::sim {

using NetworkKey = std::array<std::uint8_t, 16>;

inline constexpr std::uint8_t kFirstChipId = 1;
inline constexpr std::uint8_t kLastChipId = 5;
inline constexpr std::size_t kMaxFirmwareLength = 64;  // the version text field
inline constexpr std::size_t kMaxDevicePasswordLength = 24;
// The most stations one network information frame can carry in either layout.
inline constexpr std::size_t kMaxRemotes = 60;

// Chip 4 is the second generation: it answers network information in the version 1 layout.
inline bool isSecondGeneration(std::uint8_t chipId) {
  return chipId == 4;
}
// The firmware text prefix a chip's version text carries.
std::string_view chipPrefix(std::uint8_t chipId);
// A plausible version text for a chip, used when a scenario names none.
std::string defaultFirmware(std::uint8_t chipId);
// The firmware text a Turbo or HomePlug 1.0 adapter reports when a scenario names none.
inline constexpr char kDefaultHp1Firmware[] = "QTB2000 fw rev1.8.0 SIM";

// Which management frames an adapter answers: vendor messages (0x88E1) or HomePlug 1.0
// entries (0x887B), the Turbo ones with the vendor and private entries too.
enum class AdapterFamily { Av, Turbo, HomePlug1 };

inline constexpr std::size_t kHp1KeyLength = 8;
inline constexpr std::size_t kMaxVendorTextLength = 79;
using Hp1Key = std::array<std::uint8_t, kHp1KeyLength>;

// A Turbo adapter's secondary loader, which takes modules after a reset into it.
struct LoaderState {
  bool active = false;  // running the loader instead of its firmware
  // Module code to bytes: pieces taken since the reset into the loader, and modules committed.
  std::map<std::uint32_t, std::vector<std::uint8_t>> received;
  std::map<std::uint32_t, std::vector<std::uint8_t>> committed;
  std::uint32_t pieces = 0;  // module pieces taken, counted from 1
};

// A station's rate towards another station, as its own network information lists it; the rate
// back, when given, is what the peer lists unless the peer names a rate of its own.
struct LinkRate {
  MacAddress peer{};
  std::uint16_t toPeer = 0;
  std::optional<std::uint16_t> fromPeer;
};

struct Adapter {
  MacAddress mac{};
  std::uint8_t chipId = 1;
  std::string firmware;  // at most 64 bytes
  NetworkKey networkKey{};
  std::string devicePassword;
  // Average rates as the station list carries them (8-bit in the version 0 layout).
  std::uint16_t txRate = 100;
  std::uint16_t rxRate = 100;
  bool present = true;  // a station that is switched off neither answers nor is listed
  // A station's own view of the network, asked for at its address: its rates to the others,
  // and whether it answers at all (a listed station that stays silent when asked).
  std::vector<LinkRate> links{};
  bool answersNetworkInfo = true;
  AdapterFamily family = AdapterFamily::Av;
  // HomePlug 1.0 and Turbo: the network key is the first 8 bytes of networkKey.
  std::string vendorText1 = "Quorrel Sim";  // Turbo identity texts
  std::string vendorText2 = "Turbo Adapter";
  std::uint8_t versionMajor = 1;  // Turbo identity version
  std::uint8_t versionMinor = 8;
  Hp1Key selectorZeroKey{};      // the key a HomePlug 1.0 adapter holds under selector 0
  std::uint8_t keySelector = 1;  // its current key selector
  std::array<std::uint8_t, 3> modeBytes{};
  // Restarting after a commit or start request: answers nothing before this time, in
  // microseconds on the network's clock.
  std::uint64_t silentUntilUs = 0;
  // Firmware image and parameter block; a scenario's `firmware_image` file fills module 1.
  AdapterModules modules{};
  LoaderState loader{};
};

inline bool isHp1Family(const Adapter& a) {
  return a.family != AdapterFamily::Av;
}

enum class Corruption { None, Oui, Checksum };

struct Behaviour {
  std::uint32_t dropEvery = 0;  // drop every Nth answer; 0 never
  std::uint32_t dropFirst = 0;  // drop the first N answers
  std::uint32_t delayMs = 0;    // added to every answer's latency
  // Before each answer, send a copy broken this way (when the answer has such a field).
  Corruption corruptFirst = Corruption::None;
  std::uint8_t status = 0;       // status byte of answers that carry one
  std::uint16_t statusType = 0;  // only answers of this confirmation type; 0 all
  bool noise = false;            // a steady flood of unrelated frames
  std::uint32_t noiseIntervalUs = 10000;
  std::uint32_t localLatencyUs = 300;
  std::uint32_t remoteLatencyUs = 2000;  // through the powerline: local latency plus this
  // A local adapter that relays version requests to remotes one at a time, each this long
  // (0: all at once, each with the remote latency).
  std::uint32_t relayMs = 0;

  // Module transfers. Pieces are the read, write and memory-write requests an adapter takes,
  // counted from 1 (AdapterModules::counters.pieces).
  std::uint32_t hostActionAfter = 0;  // a 0xA062 indication just before answering piece N
  std::uint8_t hostActionCode = 0;    // the action it requests
  std::uint32_t corruptPiece = 0;     // read answers to pieces N .. N+count-1: bad checksum
  std::uint32_t corruptCount = 1;
  std::uint32_t rejectPiece = 0;  // answers to pieces N .. N+count-1: refused with a status
  std::uint32_t rejectCount = 1;
  std::uint8_t rejectStatus = 1;
  std::uint32_t stopAfterPiece = 0;  // no transfer request after piece N is answered
  std::uint32_t restartMs = 2000;    // silence after a commit or start request
  // How long the adapter takes to write each piece to flash before it confirms it, and to
  // commit or start before it confirms that (and then restarts).
  std::uint32_t pieceMs = 0;
  std::uint32_t commitMs = 0;

  // The Turbo secondary loader (reject_piece and reject_status count its pieces too).
  bool loaderDefaultAddressOnly = false;  // answers only at 00:04:87:FE:11:00
  bool loaderSilentFirstPiece = false;    // takes no notice of the first piece
  bool loaderMute = false;                // never answers
  std::uint32_t loaderBadChecksum = 0;    // module code whose read-back checksum is wrong

  DailyPattern daily{};  // station rates over the hours of a virtual day
};

struct Scenario {
  Adapter local;
  std::vector<Adapter> remotes;
  Behaviour behaviour;
};

// Parses the text form (see tools/adapter-sim/README.md). On failure returns false and sets
// `error` to "line N: what is wrong". Relative file names in it are taken from `directory`
// (the current one when empty).
bool parseScenario(std::string_view text, Scenario& out, std::string& error,
                   std::string_view directory = {});
// Reads a scenario file whole; `directory` is its folder (with a trailing slash), against which
// relative file names inside it are taken.
bool readScenarioText(const std::string& path, std::string& text, std::string& directory,
                      std::string& error);
// Reads and parses a file; errors are prefixed with the path.
bool loadScenarioFile(const std::string& path, Scenario& out, std::string& error);

}  // namespace quorrel::sim
