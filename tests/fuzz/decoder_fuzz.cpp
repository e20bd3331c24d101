// Arbitrary frames into the decoder, with either expected version and with a transfer in
// progress. Input: one mode byte, then frames each behind a 16-bit little-endian length.
#include <array>
#include <cstddef>
#include <cstdint>

#include "thpapi/decoder.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"

using namespace quorrel;
using namespace quorrel::thpapi;

namespace {

constexpr MacAddress kHost{0x02, 0, 0, 0, 0, 1};
constexpr MacAddress kAdapter{0x00, 0xB0, 0x52, 0, 0, 1};

// Buffers of a write in progress must outlive it.
std::array<std::uint8_t, 3000> firstBuffer;
std::array<std::uint8_t, 2500> secondBuffer;

void beginTransfer(std::uint8_t mode) {
  abandonTransfer();
  const int kind = (mode >> 1) % 6;
  if (kind >= 1 && kind <= 3)
    thpapi_BeginModuleRead(kHost, kAdapter, kind);
  else if (kind == 4)
    thpapi_BeginModuleWrite(kHost, kAdapter, firstBuffer, secondBuffer, 0x13);
  else if (kind == 5)
    thpapi_BeginModuleWrite(kHost, kAdapter, {}, secondBuffer, 0x21);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const int version = (mode & 1) != 0 ? 4 : 0;
  beginTransfer(mode);
  std::array<std::uint8_t, 1528> out;
  std::array<std::uint8_t, 4096> block;
  std::size_t received = 0;
  ByteSpan rest(data + 1, size - 1);
  ThapiResult result;
  while (!rest.empty()) {
    std::size_t length = rest.size();
    if (rest.size() >= 2) {
      length = std::min<std::size_t>(rest[0] | (rest[1] << 8), rest.size() - 2);
      rest = rest.subspan(2);
    }
    if (thpapi_DecodeFrame(rest.first(length), result, version) == 0) advanceTransfer(result);
    rest = rest.subspan(length);
    if (result.dataLength > result.data.size()) __builtin_trap();
    thpapi_NextPendingFrame(out);
    collectPiece(result, block, received);
    if (result.stations.size() > result.data.size()) __builtin_trap();
  }
  abandonTransfer();
  return 0;
}
