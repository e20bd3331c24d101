// Byte streams on the helper's socket, as the helper and as the program read them, cut into
// chunks at a place the input chooses; every message is decoded as its reader would.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "transport/capture_protocol.h"

using namespace quorrel;
using namespace quorrel::transport::capture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t cut = data[0];
  const ByteSpan input(data + 1, size - 1);
  for (const Reader reader : {Reader::Helper, Reader::Program}) {
    MessageStream stream(reader);
    for (std::size_t at = 0; at < input.size(); at += cut + 1) {
      stream.feed(input.subspan(at, std::min(cut + 1, input.size() - at)));
      Message m;
      MessageStream::Status status;
      while ((status = stream.next(m)) == MessageStream::Status::Message) {
        std::vector<transport::InterfaceInfo> listed;
        if (m.type == MessageType::Interfaces && decodeInterfaces(m.payload, listed)) {
          if (!decodeInterfaces(encodeInterfaces(listed), listed)) __builtin_trap();
        }
        (void)isInterfaceName(m.payload);
        (void)isManagementFrame(m.payload);
      }
      if (status == MessageStream::Status::Malformed) break;
    }
  }
  return 0;
}
