// Module reads and writes against a scripted adapter: piece sizes and offsets on the wire,
// retries, duplicates, a silent adapter, host actions, and the piece cursor's bounds.
#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "platform/clock.h"
#include "support/av_frames.h"
#include "support/fake_backend.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_intake.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

struct Request {
  std::uint16_t type;
  std::uint32_t module;
  std::uint32_t length;
  std::uint32_t offset;  // or the memory address
};

// Answers what the host sends on port 0 the next time the host polls.
class ScriptedAdapter {
 public:
  explicit ScriptedAdapter(FakeBackend& fake) : fake_(fake) { active = this; }
  ~ScriptedAdapter() { active = nullptr; }

  static const transport::ReceivedFrame* intake(int index) {
    if (active != nullptr && index == 0) active->pump();
    return transport::ReceiveFrame(index);
  }

  Bytes module[3];               // readable modules 1 and 2
  std::map<int, Bytes> written;  // module writes by module identifier
  std::map<std::uint32_t, Bytes> memory;
  std::vector<Request> requests;
  int answersLeft = INT_MAX;
  int corrupt = 0;  // damage this many read answers, from `corruptFrom` on
  int corruptFrom = 0;
  bool duplicate = false;
  bool hostActionFirst = false;

 private:
  void pump() {
    auto& port = fake_.ports[0];
    while (seen_ < port.sent.size()) answer(port.sent[seen_++]);
  }
  void push(const Bytes& f) {
    fake_.ports[0].incoming.push_back(f);
    if (duplicate) fake_.ports[0].incoming.push_back(f);
  }
  void answer(const Bytes& f) {
    const std::uint16_t type = le16At(f, 15);
    if (type == 0xA063) return;
    if (answersLeft-- <= 0) return;
    if (hostActionFirst) {
      fake_.ports[0].incoming.push_back(avFrame(0xA062, 60));
      hostActionFirst = false;
    }
    switch (type) {
      case 0xA024: {
        const Request q{type, f[20], le16At(f, 22), le32At(f, 24)};
        requests.push_back(q);
        const Bytes& m = module[q.module];
        const std::size_t end = std::min<std::size_t>(m.size(), q.offset + q.length);
        Bytes piece(m.begin() + std::min<std::size_t>(q.offset, end), m.begin() + end);
        Bytes c = readConfirm(std::uint8_t(q.module), q.offset, piece);
        if (reads_++ >= corruptFrom && corrupt > 0) {
          --corrupt;
          c[36] ^= 0xFF;
        }
        push(c);
        break;
      }
      case 0xA020: {
        const Request q{type, f[20], le16At(f, 22), le32At(f, 24)};
        requests.push_back(q);
        EXPECT_EQ(le32At(f, 28), referenceChecksum(f, 32, q.length));
        Bytes& w = written[int(q.module)];
        if (w.size() < q.offset + q.length) w.resize(q.offset + q.length);
        std::copy(f.begin() + 32, f.begin() + 32 + q.length, w.begin() + q.offset);
        push(writeConfirm(std::uint8_t(q.module), q.length, q.offset));
        break;
      }
      case 0xA004: {
        const Request q{type, 0, le32At(f, 24), le32At(f, 20)};
        requests.push_back(q);
        memory[q.offset] = Bytes(f.begin() + 28, f.begin() + 28 + q.length);
        push(memoryConfirm(q.offset, q.length));
        break;
      }
      case 0xA028:
        requests.push_back({type, f[20], 0, 0});
        push(statusConfirm(0xA029));
        break;
      case 0xA00C:
        requests.push_back({type, f[20], le32At(f, 28), le32At(f, 24)});
        startWords = {le32At(f, 24), le32At(f, 28), le32At(f, 32), le32At(f, 36)};
        push(statusConfirm(0xA00D));
        break;
      default:
        break;
    }
  }

 public:
  std::array<std::uint32_t, 4> startWords{};

 private:
  static inline ScriptedAdapter* active = nullptr;
  FakeBackend& fake_;
  std::size_t seen_ = 0;
  int reads_ = 0;
};

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(seed + i * 7 + (i >> 8));
  return b;
}

// A parameter block that states its own length 4 bytes in.
Bytes parameterBlock(std::size_t n) {
  Bytes b = pattern(n, 3);
  putLe16(b, 4, std::uint32_t(n));
  return b;
}

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.interfaces = {{"veth-a", kHostMac}};
    transport::setBackend(&fake);
    platform::setClock(&clock);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    transport::setCurrentInterface(0);
    ResetExchangeState();
    resetLastError();
    thpapi_AbandonTransfer();
    setFrameIntake(ScriptedAdapter::intake);
    setTraceSink([](std::string_view) {});
  }
  void TearDown() override {
    setFrameIntake(nullptr);
    setTraceSink(nullptr);
    thpapi_AbandonTransfer();
    transport::ResetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }

  // The caller's loop: send the waiting frame, wait for the answer to its type, until done.
  bool runTransfer() {
    for (int steps = 0; steps < 1000; ++steps) {
      const std::uint16_t type = thpapi_PendingState().frameType;
      if (!SendPendingFrame()) return false;
      if (!WaitConfirmation(type, r)) return false;
      if (r.phase == kPhaseFinished) return true;
    }
    return false;
  }

  FakeBackend fake;
  platform::VirtualClock clock;
  ScriptedAdapter adapter{fake};
  ThapiResult r;
};

TEST_F(TransferTest, ParameterBlockReadAsksWholePiecesAndAShortLastOne) {
  adapter.module[2] = parameterBlock(3000);
  Bytes block(4000, 0xEE);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), 0);
  ASSERT_EQ(adapter.requests.size(), 3u);
  EXPECT_EQ(adapter.requests[0].length, 1024u);
  EXPECT_EQ(adapter.requests[0].offset, 0u);
  EXPECT_EQ(adapter.requests[1].length, 1024u);
  EXPECT_EQ(adapter.requests[1].offset, 1024u);
  EXPECT_EQ(adapter.requests[2].length, 952u);
  EXPECT_EQ(adapter.requests[2].offset, 2048u);
  EXPECT_EQ(received, 3000u);
  EXPECT_TRUE(std::equal(adapter.module[2].begin(), adapter.module[2].end(), block.begin()));
  EXPECT_EQ(block[3000], 0xEE);
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);  // the end clears the transfer

  const Bytes& first = fake.ports[0].sent[0];
  ASSERT_EQ(first.size(), 64u);
  EXPECT_EQ(le16At(first, 15), 0xA024u);
  EXPECT_EQ(first[20], 2);
  EXPECT_EQ(first[21], 0);
  EXPECT_EQ(le16At(first, 22), 1024u);
  EXPECT_EQ(le32At(first, 24), 0u);
}

TEST_F(TransferTest, FirmwareReadReadsEachHeaderOnItsOwn) {
  Bytes m = imageHeader(0x1000, 1500, 1544);
  putBytes(m, 44, pattern(1500, 1));
  putBytes(m, 1544, imageHeader(0x2000, 100, 0));
  putBytes(m, 1588, pattern(100, 2));
  adapter.module[1] = m;
  Bytes block(2000, 0);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 1, block, received), 0);
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
      {0, 44}, {44, 1024}, {1068, 476}, {1544, 44}, {1588, 100}};
  ASSERT_EQ(adapter.requests.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(adapter.requests[i].offset, expected[i].first) << i;
    EXPECT_EQ(adapter.requests[i].length, expected[i].second) << i;
  }
  EXPECT_EQ(received, m.size());
  EXPECT_TRUE(std::equal(m.begin(), m.end(), block.begin()));

  // A damaged header ends the read with error 14.
  adapter.module[1][40] ^= 1;
  adapter.requests.clear();
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 1, block, received), -1);
  EXPECT_EQ(adapter.requests.size(), 1u);
}

TEST_F(TransferTest, FirmwareHeaderPointingBackwardsEndsTheRead) {
  Bytes m = imageHeader(0x1000, 10, 44);
  putBytes(m, 44, imageHeader(0x1000, 10, 44));  // points at itself
  adapter.module[1] = m;
  Bytes block(200, 0);
  std::size_t received = 0;
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 1, block, received), -1);
  EXPECT_EQ(adapter.requests.size(), 2u);
}

TEST_F(TransferTest, KindThreeReadsFirmwareThenParameterBlock) {
  adapter.module[1] = imageHeader(0x1000, 20, 0);
  putBytes(adapter.module[1], 44, pattern(20, 5));
  adapter.module[2] = parameterBlock(1500);
  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 3), 0);
  ASSERT_TRUE(runTransfer());
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(adapter.requests.size(), 4u);
  EXPECT_EQ(adapter.requests[1].module, 1u);
  EXPECT_EQ(adapter.requests[1].length, 20u);
  EXPECT_EQ(adapter.requests[2].module, 2u);
  EXPECT_EQ(adapter.requests[2].offset, 0u);
  EXPECT_EQ(adapter.requests[3].length, 476u);
  ModulePiece piece;
  ASSERT_TRUE(readModulePiece(r, piece));
  EXPECT_EQ(piece.module, 2u);
  EXPECT_EQ(piece.offset, 1024u);
  EXPECT_TRUE(piece.last);
}

TEST_F(TransferTest, DamagedPiecesAreAskedAgainWhileRetriesLast) {
  adapter.module[2] = parameterBlock(3000);
  adapter.corruptFrom = 1;
  adapter.corrupt = 3;
  Bytes block(3000, 0);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), 0);
  EXPECT_EQ(adapter.requests.size(), 6u);
  EXPECT_EQ(adapter.requests[4].offset, 1024u);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), adapter.module[2].begin()));

  adapter.requests.clear();
  adapter.corruptFrom = 0;
  adapter.corrupt = 4;
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), -1);
  EXPECT_EQ(adapter.requests.size(), 1u);  // no retries for a first piece
}

TEST_F(TransferTest, FourthDamageOfOnePieceEndsTheRead) {
  adapter.module[2] = parameterBlock(3000);
  adapter.corruptFrom = 1;
  adapter.corrupt = 4;
  Bytes block(3000, 0);
  std::size_t received = 0;
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), -1);
  EXPECT_EQ(adapter.requests.size(), 5u);  // the piece at 1024 asked four times
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
}

TEST_F(TransferTest, DuplicatedAnswersDoNotShiftTheBlock) {
  adapter.module[2] = parameterBlock(3000);
  adapter.duplicate = true;
  Bytes block(3000, 0);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), 0);
  EXPECT_EQ(adapter.requests.size(), 3u);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), adapter.module[2].begin()));
}

TEST_F(TransferTest, SilentAdapterOrOversizedBlockFailsWithinTheBuffer) {
  adapter.module[2] = parameterBlock(3000);
  adapter.answersLeft = 2;
  Bytes outer(3100, 0xEE);
  MutableByteSpan block = MutableByteSpan(outer).first(3000);
  std::size_t received = 0;
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, block, received), -1);
  EXPECT_EQ(received, 2048u);
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
  for (std::size_t i = 3000; i < outer.size(); ++i) ASSERT_EQ(outer[i], 0xEE);

  // A block that announces more than the caller's buffer holds.
  adapter.answersLeft = INT_MAX;
  std::fill(outer.begin(), outer.end(), 0xEE);
  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 2, MutableByteSpan(outer).first(2500),
                                   received),
            -1);
  EXPECT_EQ(lastError(), 34);
  for (std::size_t i = 2048; i < outer.size(); ++i) ASSERT_EQ(outer[i], 0xEE);

  EXPECT_EQ(thpapi_ReadModuleBlock(kHostMac, kAdapterMac, 3, block, received), -1);
  EXPECT_EQ(lastError(), 22);
}

TEST_F(TransferTest, ParameterBlockWriteEndsInACommit) {
  const Bytes second = pattern(2048, 9);
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x21), 0);
  ASSERT_TRUE(runTransfer());
  ASSERT_EQ(adapter.requests.size(), 3u);
  EXPECT_EQ(adapter.requests[0].length, 1024u);
  EXPECT_EQ(adapter.requests[1].offset, 1024u);
  EXPECT_EQ(adapter.requests[2].type, 0xA028u);
  EXPECT_EQ(adapter.requests[2].module, 0x02u);  // parameter block written
  EXPECT_EQ(adapter.written[2], second);
  EXPECT_EQ(r.mmtype, 0xA029);
  EXPECT_EQ(r.operation, THAPI_WRITE_MODULES);
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
}

TEST_F(TransferTest, FirmwareAndParameterBlockWriteThenCommitWithOptionBit) {
  Bytes first = imageHeader(0x1000, 1500, 0);
  putBytes(first, 44, pattern(1500, 4));
  const Bytes second = pattern(1100, 8);
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, first, second, 0x13), 0);
  ASSERT_TRUE(runTransfer());
  EXPECT_EQ(adapter.written[1], first);
  EXPECT_EQ(adapter.written[2], second);
  ASSERT_EQ(adapter.requests.size(), 5u);
  EXPECT_EQ(adapter.requests[1].length, 1544u - 1024u);
  EXPECT_EQ(adapter.requests[4].type, 0xA028u);
  EXPECT_EQ(adapter.requests[4].module, 0x13u);
}

TEST_F(TransferTest, ModuleWriteWithoutCommitEndsInAStartRequest) {
  Bytes first = imageHeader(0x3000, 10, 0, 0xCAFEF00D, 0x3004);
  putBytes(first, 44, pattern(10, 1));
  const Bytes second = pattern(100, 2);  // must outlive the transfer
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, first, second, 0x22), 0);
  ASSERT_TRUE(runTransfer());
  EXPECT_EQ(adapter.requests.back().type, 0xA00Cu);
  EXPECT_EQ(adapter.requests.back().module, 1u);
  EXPECT_EQ(adapter.startWords, (std::array<std::uint32_t, 4>{0x3000, 10, 0xCAFEF00D, 0x3004}));
  EXPECT_EQ(r.mmtype, 0xA00D);
}

TEST_F(TransferTest, MemoryWriteSendsTheLastImageThenTheParameterBlock) {
  Bytes first = imageHeader(0x1000, 8, 52);
  putBytes(first, 44, pattern(8, 1));
  putBytes(first, 52, imageHeader(0x20000, 1500, 0, 0xABCD, 0x20010));
  const Bytes image = pattern(1500, 6);
  putBytes(first, 96, image);
  const Bytes second = pattern(2048, 7);
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, first, second, 0x00), 0);
  ASSERT_TRUE(runTransfer());
  ASSERT_EQ(adapter.requests.size(), 5u);
  EXPECT_EQ(adapter.requests[0].offset, 0x20000u);
  EXPECT_EQ(adapter.requests[1].offset, 0x20000u + 1024u);
  EXPECT_EQ(adapter.requests[1].length, 476u);
  EXPECT_EQ(adapter.requests[2].offset, 0x01F00000u);
  EXPECT_EQ(adapter.requests[3].offset, 0x01F00400u);
  EXPECT_EQ(adapter.requests[4].type, 0xA00Cu);
  EXPECT_EQ(adapter.startWords, (std::array<std::uint32_t, 4>{0x20000, 1500, 0xABCD, 0x20010}));
  Bytes written = adapter.memory[0x20000];
  written.insert(written.end(), adapter.memory[0x20400].begin(), adapter.memory[0x20400].end());
  EXPECT_EQ(written, image);
}

TEST_F(TransferTest, WriteBeginRefusesMissingBuffersAndBrokenChains) {
  const Bytes second = pattern(100, 1);
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, second, {}, 0x21), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x00), -1);
  EXPECT_EQ(lastError(), 14);

  Bytes bad = imageHeader(0x1000, 8, 0);
  bad.resize(52);
  bad[0] ^= 1;
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, bad, second, 0x00), -1);
  EXPECT_EQ(lastError(), 22);
  Bytes loop = imageHeader(0x1000, 8, 0);
  putBytes(loop, 0, imageHeader(0x1000, 8, 0));
  putBytes(loop, 44, imageHeader(0x1000, 8, 0));
  putBytes(loop, 0, imageHeader(0x1000, 8, 44));
  putBytes(loop, 44, imageHeader(0x1000, 8, 0x10));  // backwards
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, loop, second, 0x00), -1);
  EXPECT_EQ(lastError(), 14);
  Bytes past = imageHeader(0x1000, 8, 5000);
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, past, second, 0x00), -1);
  EXPECT_EQ(lastError(), 14);
  Bytes longImage = imageHeader(0x1000, 0xFFFFFFF0u, 0);
  EXPECT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, longImage, second, 0x00), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_FALSE(thpapi_FrameWaiting());

  EXPECT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 0), -1);
  EXPECT_EQ(lastError(), 22);
  EXPECT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 4), -1);
}

TEST_F(TransferTest, RefusedWritePieceIsResentThenTheTransferFails) {
  const Bytes second = pattern(2048, 3);
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x21), 0);
  Bytes frame(1528);
  ASSERT_GT(thpapi_NextPendingFrame(frame), 0u);
  ASSERT_EQ(thpapi_DecodeFrame(writeConfirm(2, 1024, 0), r, 0), 0);
  ASSERT_GT(thpapi_NextPendingFrame(frame), 0u);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(thpapi_DecodeFrame(writeConfirm(2, 1024, 1024, 0x30), r, 0), 0);
    EXPECT_EQ(r.phase, 1u);
    EXPECT_EQ(r.status, 0x30);
    ASSERT_EQ(thpapi_NextPendingFrame(frame), 32u + 1024u);
    EXPECT_EQ(le32At(frame, 24), 1024u);
  }
  EXPECT_EQ(thpapi_DecodeFrame(writeConfirm(2, 1024, 1024, 0x30), r, 0), -1);
  EXPECT_EQ(r.phase, 2u);
  EXPECT_EQ(lastError(), 22);
  EXPECT_FALSE(thpapi_FrameWaiting());
}

TEST_F(TransferTest, NextPendingFrameGivesTheFrameOnce) {
  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
  Bytes small(63);
  EXPECT_EQ(thpapi_NextPendingFrame(small), 0u);
  EXPECT_EQ(lastError(), 34);
  Bytes frame(1528, 0xEE);
  ASSERT_EQ(thpapi_NextPendingFrame(frame), 64u);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), Bytes(kAdapterMac.begin(), kAdapterMac.end()));
  for (std::size_t i = 28; i < 64; ++i) EXPECT_EQ(frame[i], 0) << i;
  EXPECT_EQ(thpapi_NextPendingFrame(frame), 0u);

  // A stray answer for another offset neither moves the read nor makes a frame wait.
  EXPECT_EQ(thpapi_DecodeFrame(readConfirm(2, 4096, pattern(64, 1)), r, 0), -1);
  EXPECT_EQ(lastError(), 22);
  EXPECT_FALSE(thpapi_FrameWaiting());
}

TEST_F(TransferTest, HostActionDuringAWriteIsAnsweredAndTheWriteGoesOn) {
  adapter.hostActionFirst = true;
  const Bytes second = pattern(1500, 3);
  ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x21), 0);
  ASSERT_TRUE(runTransfer());
  EXPECT_EQ(adapter.written[2], second);
  int responses = 0;
  for (const Bytes& f : fake.ports[0].sent) responses += le16At(f, 15) == 0xA063u;
  EXPECT_EQ(responses, 1);
}

TEST(PieceCursor, BoundsAndRefusals) {
  resetLastError();
  EXPECT_FALSE(PieceCursor::create({}));
  EXPECT_EQ(lastError(), 22);
  const Bytes buffer(2500, 1);
  EXPECT_FALSE(PieceCursor::create(buffer, 0));
  auto c = PieceCursor::create(buffer);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->seek(0), 1024u);
  EXPECT_FALSE(c->atEnd(1024));
  EXPECT_EQ(c->next(), 1024u);
  EXPECT_EQ(c->offset(), 1024u);
  EXPECT_EQ(c->next(), 452u);
  EXPECT_TRUE(c->atEnd(452));
  EXPECT_EQ(c->piece().size(), 452u);
  resetLastError();
  EXPECT_EQ(c->next(), 0u);
  EXPECT_EQ(lastError(), 34);
  EXPECT_EQ(c->offset(), 2500u);
  EXPECT_TRUE(c->piece().empty());
  // n × piece size past 2^32 must not wrap back into the buffer.
  EXPECT_EQ(c->seek(0x00400001u), 0u);
  EXPECT_EQ(c->offset(), 2500u);
}

}  // namespace
}  // namespace quorrel::thpapi
