// The naming rules of the local search.
#include "scan/network_naming.h"

#include <algorithm>

#include "crypto/keys.h"
#include "scan/scan_services.h"

namespace quorrel::scan {

namespace {

std::size_t widthOf(KeyFamily f) {
  return f == KeyFamily::Av ? crypto::kAvKeyWidth : crypto::kHp1KeyWidth;
}

bool sameKey(KeyFamily f, const api::NetworkKey& a, const api::NetworkKey& b) {
  return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(widthOf(f)), b.begin());
}

std::string_view modeOf(KeyFamily f) {
  return f == KeyFamily::Av ? "AV" : "Turbo";
}

std::string_view defaultNameOf(KeyFamily f) {
  return f == KeyFamily::Av ? crypto::kDefaultAvNetworkPassword
                            : crypto::kDefaultHp1NetworkPassword;
}

// Another known record with this key, and its network name; the record itself does not count.
// An all-zero key is no key: records that never had one would all match it.
int otherWithKey(KeyFamily f, const api::NetworkKey& key, int self, api::NetworkName& name) {
  api::NetworkKey k{};
  std::copy_n(key.begin(), widthOf(f), k.begin());
  if (k == api::NetworkKey{}) return 0;
  const int found = knownDeviceStore().findByKey(k, modeOf(f), &name);
  return found == self ? 0 : found;
}

api::NetworkKey widthCut(KeyFamily f, const api::NetworkKey& key) {
  api::NetworkKey k{};
  std::copy_n(key.begin(), widthOf(f), k.begin());
  return k;
}

}  // namespace

LocalRecord knownRecordOfLocal(const MacAddress& mac) {
  KnownDeviceStore& store = knownDeviceStore();
  const int found = store.findByMac(mac);
  if (found != 0) return {found, false};
  return {store.appendWithDefaultName(mac), true};
}

bool isDefaultKey(KeyFamily family, const api::NetworkKey& key) {
  if (family == KeyFamily::Av) return key == defaultAvNetworkKey();
  return isDefaultHp1Key(ByteSpan(key).first(crypto::kHp1KeyWidth));
}

api::NetworkName nameLocalNetwork(KeyFamily family, const api::NetworkKey& localKeyIn,
                                  const LocalRecord& record, const api::NetworkName& previous) {
  KnownDeviceStore& store = knownDeviceStore();
  const api::NetworkKey localKey = widthCut(family, localKeyIn);
  const int r = record.index;
  api::NetworkName name = previous;
  auto both = [&](const api::NetworkName& n) {
    name = n;
    if (r != 0) store.setNetworkName(r, n.view());
  };

  ScanState& s = scanState();
  if (s.networkNameSetPending) {
    both(api::currentDevices().localNetworkName);
    if (r != 0) store.setNetworkKey(r, localKey);
    s.networkNameSetPending = false;
  }

  api::NetworkName found;
  if (record.justAdded || r == 0) {
    if (otherWithKey(family, localKey, r, found) != 0)
      both(found);
    else if (!isDefaultKey(family, localKey))
      both(api::NetworkName(kUnknownNetworkName));
    else
      both(api::NetworkName(defaultNameOf(family)));
    if (r != 0) store.setNetworkKey(r, localKey);
    return name;
  }

  if (isDefaultKey(family, localKey)) {
    both(api::NetworkName(defaultNameOf(family)));
  } else if (sameKey(family, store.networkKey(r), localKey)) {
    name = store.networkName(r);
  } else if (otherWithKey(family, localKey, r, found) != 0) {
    both(found);
    store.setNetworkKey(r, localKey);
  } else if (family == KeyFamily::Av && s.keepNetworkName) {
    s.keepNetworkName = false;
  } else {
    both(api::NetworkName(kUnknownNetworkName));
  }
  return name;
}

}  // namespace quorrel::scan
