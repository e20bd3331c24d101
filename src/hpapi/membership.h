// Bringing one adapter into a network by its device password, and re-applying the local
// adapter's key from its stored network name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "api/fixed_text.h"
#include "brantleapi/hp1_requests.h"
#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::hpapi {

inline constexpr int kJoinAttempts = 5;
inline constexpr std::uint32_t kJoinRetryPauseMs = 1000;
inline constexpr std::size_t kDevicePasswordField = 25;

// One adapter to be joined. `deviceMac` is broadcast when the adapter is to be found by its
// password; it becomes the MAC of the adapter that answered.
struct JoinTarget {
  api::FixedText<kDevicePasswordField> devicePassword;
  MacAddress deviceMac = kBroadcastMac;
  std::int32_t joined = 0;
};

// What the key operations keep between calls.
struct MembershipState {
  // The HomePlug 1.0 or Turbo key the local adapter had before a password test.
  brantleapi::Hp1Key savedLocalKey{};
  // The password dialog asks the join after a test to keep the local adapter's key.
  bool useSavedKeyOnce = false;
  // An add is under way: its joins keep the local adapter's key, and the next refresh records
  // the new adapter under addName and addPassword.
  bool addingDevice = false;
  std::string addName;
  std::string addPassword;
  MacAddress addedMac{};
  // A local setting succeeded: the rescan that follows reports no missing adapter.
  bool suppressAdapterMessage = false;
};

MembershipState& membershipState();
void resetMembershipState();

// Gives the adapter of `target` the key of network `name`, or, with no name, a random key as a
// password test (the local adapter gets its old key back when the test fails). HomePlug 1.0
// and Turbo set the local adapter first. Up to 5 attempts 1 s apart. True when it joined.
// The autoscan is off and the wire held meanwhile, both given back on return.
bool joinDeviceToNetwork(transport::ReceivePath& path, JoinTarget& target,
                         std::optional<std::string_view> name, bool search);

// Gives the local adapter its network key again after key operations that went through it.
// HomePlug AV derives it from the stored network name and records it for the local adapter and
// its known-device records. HomePlug 1.0 and Turbo take `held`, the key the adapter reported
// before the operation (its password test saves it); without one, the key the stored name
// derives, for a name that was just set. The stored name must not decide otherwise: it can be
// a placeholder ("Unknown Networkname") that derives no key the adapter has. Nonzero when the
// adapter took the key.
int applyLocalNetworkName(transport::ReceivePath& path, std::optional<brantleapi::Hp1Key> held);

}  // namespace quorrel::hpapi
