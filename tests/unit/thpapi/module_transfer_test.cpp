// Module transfers driven frame by frame through the decoder: the requests on the wire, stray
// and duplicated answers, refused pieces, broken image chains, and the piece cursor's bounds.
#include <gtest/gtest.h>

#include <utility>

#include "support/av_frames.h"
#include "thpapi/decoder.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(seed + i * 7 + (i >> 8));
  return b;
}

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + at, b.begin() + at + n);
}

Bytes readRequest(std::uint8_t module, std::uint32_t offset, std::uint32_t length) {
  Bytes f = request(0xA024, {module, 0});
  putLe16(f, 22, length);
  putLe32(f, 24, offset);
  return f;
}

Bytes writePiece(std::uint32_t offset, const Bytes& piece) {
  Bytes f = avFrame(0xA020, 32, kHostMac, kAdapterMac);
  put(f, 20, {2, 0});
  putLe16(f, 22, std::uint32_t(piece.size()));
  putLe32(f, 24, offset);
  putLe32(f, 28, referenceChecksum(piece, 0, piece.size()));
  f.insert(f.end(), piece.begin(), piece.end());
  return f;
}

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLastError();
    thpapi_AbandonTransfer();
  }
  void TearDown() override { thpapi_AbandonTransfer(); }
  // What the transfer's wait does with each confirmation.
  int decode(const Bytes& f) {
    const int decoded = thpapi_DecodeFrame(f, r, 0);
    return decoded != 0 ? decoded : thpapi_AdvanceTransfer(r);
  }
  // The waiting frame, or nothing.
  static Bytes next() {
    Bytes f(kRequestBufferSize);
    f.resize(thpapi_NextPendingFrame(f));
    return f;
  }
  ThapiResult r;
};

// At a piece boundary, one byte past it, and with a short last piece.
TEST_F(TransferTest, ParameterBlockReadAsksWholePiecesAndAShortLastOneOnce) {
  for (const std::uint32_t size : {1024u, 1025u, 3000u}) {
    SCOPED_TRACE(size);
    Bytes block = pattern(size, 3);
    putLe16(block, 4, size);  // the block states its own length 4 bytes in
    ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
    Bytes small(63);
    EXPECT_EQ(thpapi_NextPendingFrame(small), 0u);  // the frame keeps waiting
    EXPECT_EQ(lastError(), 34);
    std::uint32_t offset = 0;
    for (; offset < size; offset += 1024) {
      const std::uint32_t length = std::min(1024u, size - offset);
      EXPECT_EQ(next(), readRequest(2, offset, length)) << offset;
      EXPECT_TRUE(next().empty());
      if (offset != 0) {  // the answer before, again: neither moves the read nor makes a frame wait
        EXPECT_EQ(decode(readConfirm(2, offset - 1024, slice(block, offset - 1024, 1024))), -1);
        EXPECT_EQ(lastError(), 22);
        EXPECT_FALSE(thpapi_FrameWaiting());
      }
      ASSERT_EQ(decode(readConfirm(2, offset, slice(block, offset, length))), 0) << offset;
    }
    ModulePiece piece;
    ASSERT_TRUE(readModulePiece(r, piece));
    EXPECT_TRUE(piece.last);
    EXPECT_EQ(piece.offset, offset - 1024);
    EXPECT_EQ(r.phase, 2u);
    EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
    EXPECT_TRUE(next().empty());
  }
}

TEST_F(TransferTest, FirmwareReadEndsAtADamagedOrBackwardHeader) {
  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 1), 0);
  EXPECT_EQ(next(), readRequest(1, 0, 44));
  Bytes damaged = imageHeader(0x1000, 1500, 1544);
  damaged[40] ^= 1;
  EXPECT_EQ(decode(readConfirm(1, 0, damaged)), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_FALSE(thpapi_FrameWaiting());

  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 1), 0);
  next();
  ASSERT_EQ(decode(readConfirm(1, 0, imageHeader(0x1000, 10, 44))), 0);
  EXPECT_EQ(next(), readRequest(1, 44, 44));  // the next header, on its own
  EXPECT_EQ(decode(readConfirm(1, 44, imageHeader(0x1000, 10, 44))), -1);  // points at itself
  EXPECT_FALSE(thpapi_FrameWaiting());
}

TEST_F(TransferTest, TwoPieceWriteEndsInACommitAndARefusedPieceIsResentThreeTimes) {
  const Bytes second = pattern(2048, 3);
  for (int refusals : {3, 4}) {
    SCOPED_TRACE(refusals);
    ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x21), 0);
    EXPECT_EQ(next(), writePiece(0, slice(second, 0, 1024)));
    ASSERT_EQ(decode(writeConfirm(2, 1024, 0)), 0);
    for (int i = 0; i < refusals; ++i) {
      EXPECT_EQ(next(), writePiece(1024, slice(second, 1024, 1024)));
      EXPECT_EQ(decode(writeConfirm(2, 1024, 1024, 0x30)), i < 3 ? 0 : -1);
      EXPECT_EQ(r.phase, i < 3 ? 1u : 2u);
    }
    if (refusals == 4) {
      EXPECT_EQ(lastError(), 22);
      EXPECT_FALSE(thpapi_FrameWaiting());
      continue;
    }
    EXPECT_EQ(next(), writePiece(1024, slice(second, 1024, 1024)));
    ASSERT_EQ(decode(writeConfirm(2, 1024, 1024)), 0);
    EXPECT_EQ(next(), request(0xA028, {0x02}));  // the parameter block was written
    ASSERT_EQ(decode(statusConfirm(0xA029)), 0);
    EXPECT_EQ(r.phase, 2u);
    EXPECT_EQ(r.operation, THAPI_WRITE_MODULES);
    EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
  }
}

TEST_F(TransferTest, BeginRefusesBadKindsMissingBuffersAndBrokenChains) {
  const Bytes second = pattern(100, 1);
  Bytes damaged = imageHeader(0x1000, 8, 0);
  damaged.resize(52);
  damaged[0] ^= 1;
  Bytes backwards = imageHeader(0x1000, 8, 44);
  const Bytes back = imageHeader(0x2000, 8, 0x10);
  backwards.insert(backwards.end(), back.begin(), back.end());
  const struct {
    const char* what;
    Bytes first, second;
    std::uint32_t options;
    int error;
  } cases[] = {
      {"no second buffer", second, {}, 0x21, 14},
      {"memory write without images", {}, second, 0x00, 14},
      {"damaged header", damaged, second, 0x00, 22},
      {"header pointing backwards", backwards, second, 0x00, 14},
      {"next header past the buffer", imageHeader(0x1000, 8, 5000), second, 0x00, 14},
      {"image past the buffer", imageHeader(0x1000, 0xFFFFFFF0u, 0), second, 0x00, 14},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, c.first, c.second, c.options), -1)
        << c.what;
    EXPECT_EQ(lastError(), c.error) << c.what;
    EXPECT_FALSE(thpapi_FrameWaiting()) << c.what;
  }
  for (int kind : {0, 4}) {
    resetLastError();
    EXPECT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, kind), -1);
    EXPECT_EQ(lastError(), 22);
  }
  Bytes block(100);
  std::size_t received = 0;
  EXPECT_EQ(thpapi_ReadModuleBlock(path, kHostMac, kAdapterMac, 3, block, received), -1);
  EXPECT_EQ(lastError(), 22);
}

TEST(PieceCursor, BoundsAndRefusals) {
  resetLastError();
  EXPECT_FALSE(PieceCursor::create({}));
  EXPECT_EQ(lastError(), 22);
  const Bytes buffer(2500, 1);
  EXPECT_FALSE(PieceCursor::create(buffer, 0));
  auto c = PieceCursor::create(buffer);
  ASSERT_TRUE(c);
  // Whole pieces and the short last one: the transfer tests; here the cursor's own bounds.
  EXPECT_EQ(c->seek(2), 452u);
  EXPECT_TRUE(c->atEnd(452));
  EXPECT_EQ(c->next(), 0u);
  EXPECT_EQ(lastError(), 34);
  EXPECT_TRUE(c->piece().empty());
  // n × piece size past 2^32 must not wrap back into the buffer.
  EXPECT_EQ(c->seek(0x00400001u), 0u);
  EXPECT_EQ(c->offset(), 2500u);
}

}  // namespace
}  // namespace quorrel::thpapi
