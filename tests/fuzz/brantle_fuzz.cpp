// Any bytes as a received 0x887B frame: the parser, every decoder and the poll's handling.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_replies.h"
#include "transport/receive_path.h"

using namespace quorrel;
using namespace quorrel::brantleapi;

namespace {
void check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteSpan frame(data, size);
  if (auto v = parseHp1Frame(frame)) {
    for (std::size_t k = 0; k < v->block.parsed; ++k) {
      const auto& e = v->block.entries[k];
      check(e.dataOffset + e.data.size() <= size);
    }
    if (size > 27) parseHp1Block(frame, kKeyEnvelopeInnerBlockOffset);
  }
  if (auto r = parseHp1Reply(frame)) {
    if (auto id = decodeTurboIdentity(*r)) {
      check(id->vendorText1.size() <= kTurboVendorTextMax);
      check(id->vendorText2.size() <= kTurboVendorTextMax);
      check(id->version.size() <= kTurboVersionTextMax);
    }
    if (auto s = decodeTurboStatistics(*r)) check(s->count <= kTurboStatisticsMaxEntries);
    if (auto t = decodeTurboFirmwareText(*r)) check(t->size() <= kTurboFirmwareTextMax);
    decodeTurboNetworkKey(*r);
    decodeLoaderReply(*r, r->destination);
  }
  if (auto h = decodeHp1Reply(frame); h && h->networkStatistics)
    check(h->networkStatistics->count <= kNetworkStatisticsMaxStations);

  // A remote entry the identity and statistics replies can find.
  api::resetDeviceTable();
  if (size >= 12) api::UpsertRemote(readMac(frame, 6));
  std::string text;
  transport::Frame received;
  received.arrival = 0;
  received.length = std::min(frame.size(), received.data.size());
  std::copy_n(frame.begin(), received.length, received.data.begin());
  handleTurboFrame(received, &text);
  const TurboState& s = turboState();
  check(s.localTurboFirmware.size() <= kTurboFirmwareTextMax);
  check(s.localTurboVendorText1.size() <= kTurboVendorTextMax);
  resetTurboState();
  return 0;
}
