// Multi-frame reads and writes of the adapter's firmware image (module 1) and parameter
// block (module 2), driven one confirmed piece at a time through a waiting frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/bytes.h"
#include "thpapi/frame_layout.h"
#include "thpapi/thapi_result.h"

namespace quorrel::thpapi {

// Walks a caller buffer in pieces (1024 bytes unless told otherwise). Does not own the bytes:
// the buffer must outlive the cursor.
class PieceCursor {
 public:
  // Refused (none, error 22) for an absent or empty buffer, a buffer over 4 GiB or a zero
  // piece size.
  static std::optional<PieceCursor> create(ByteSpan buffer, std::uint32_t pieceSize = kPieceSize);

  // Moves to piece n and returns its length (the last piece may be shorter). Past the end:
  // 0, error 34, position at the end.
  std::uint32_t seek(std::uint32_t n);
  // Moves to the piece after the current one, as seek(number() + 1).
  std::uint32_t next();
  // Offset of the current piece from the buffer start.
  std::uint32_t offset() const { return position_; }
  // True when a piece of `length` bytes from the current position reaches the end.
  bool atEnd(std::uint32_t length) const;
  // The bytes of the current piece (empty at the end).
  ByteSpan piece() const;
  std::uint32_t number() const { return number_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(buffer_.size()); }
  std::uint32_t pieceSize() const { return pieceSize_; }

 private:
  PieceCursor(ByteSpan buffer, std::uint32_t pieceSize) : buffer_(buffer), pieceSize_(pieceSize) {}
  ByteSpan buffer_;
  std::uint32_t position_ = 0;
  std::uint32_t number_ = 0;
  std::uint32_t pieceSize_;
};

// ThapiPending::flags bits.
inline constexpr std::uint32_t kFlagCommitAtEnd = 0x001;
inline constexpr std::uint32_t kFlagFirstBufferActive = 0x200;
inline constexpr std::uint32_t kFlagSecondBufferPending = 0x400;
// Write options: bit 0 commit at end, bits 1 and 4 caller choices, bit 5 module write.
inline constexpr std::uint32_t kWriteOptionMask = 0x33;
inline constexpr std::uint32_t kOptionCommit = 0x01;
inline constexpr std::uint32_t kOptionModuleFlag10 = 0x10;
inline constexpr std::uint32_t kOptionModuleWrite = 0x20;
inline constexpr std::uint32_t kOptionsModuleWriteAll = 0x13;

inline constexpr std::uint8_t kRetriesPerPiece = 3;
inline constexpr std::size_t kFixedFieldsSize = 20;

enum class CursorChoice : std::uint8_t { None, First, Second };

// The state of the one multi-frame transfer in progress; all zero when none is.
struct ThapiPending {
  std::uint32_t flags = 0;
  std::int32_t readKind = 0;
  std::uint32_t pendingOperation = 0;  // THAPI_WRITE_MODULES or THAPI_READ_MODULES
  std::uint8_t retriesLeft = 0;
  std::uint32_t totalLength = 0;       // end of the module being read
  std::uint32_t nextHeaderOffset = 0;  // next image header while reading module 1
  std::uint8_t frameWaiting = 0;
  MacAddress frameDestination{};
  MacAddress frameSource{};
  std::uint16_t frameType = 0;  // type of the waiting (or last taken) request
  std::uint32_t fixedLength = 0;
  std::array<std::uint8_t, kFixedFieldsSize> fixedFields{};
  std::uint32_t dataLength = 0;
  const std::uint8_t* dataPointer = nullptr;  // into a caller buffer
  std::optional<PieceCursor> cursorFirst;
  std::optional<PieceCursor> cursorSecond;
  CursorChoice cursorCurrent = CursorChoice::None;
  std::uint8_t moduleFlags = 0;
  // Load address, image length, image checksum and entry address for the start request.
  std::array<std::uint32_t, 4> startWords{};
};

// The transfer state, for callers that need the announced length or tests.
const ThapiPending& pendingState();
// Forgets any transfer in progress and any waiting host action response. A caller that
// abandons a transfer calls it before freeing the buffers it gave to a write.
void abandonTransfer();

// Starts a read: kind 1 module 1, kind 2 module 2, kind 3 module 1 then module 2. 0, or -1
// with error 22 for another kind.
int thpapi_BeginModuleRead(const MacAddress& source, const MacAddress& destination, int kind);
// Starts a write of `second` (module 2, required) after `first` (module 1, may be empty).
// Option 0x20, or 0x13 all set, writes modules; otherwise the images of `first` go to memory
// and the transfer ends with a start request. 0, or -1 (error 14 for a missing buffer, 22 for
// a broken image chain).
int thpapi_BeginModuleWrite(const MacAddress& source, const MacAddress& destination, ByteSpan first,
                            ByteSpan second, std::uint32_t options);
// Writes the waiting frame (zero-filled to 64 bytes) and returns its length, once; 0 when
// none waits, or with error 34 when the buffer is too small (the frame keeps waiting). A
// waiting host action response goes first.
std::size_t thpapi_NextPendingFrame(MutableByteSpan buffer);
// True when thpapi_NextPendingFrame would give a frame.
bool anyFrameWaiting();
// True when a request of the transfer (not a host action response) waits.
bool transferFrameWaiting();
// Writes only a waiting host action response (64 bytes) and returns its length, once; 0 when
// none waits or with error 34 when the buffer is under 64 bytes.
std::size_t takeHostActionResponse(MutableByteSpan buffer);

// The accepted piece of a 0xA025 result: module, confirmed offset, bytes, last-piece flag.
struct ModulePiece {
  std::uint32_t module = 0;
  std::uint32_t offset = 0;
  bool last = false;
  ByteSpan bytes;
};
// The piece a read-module result holds; false when it holds no accepted piece.
bool readModulePiece(const ThapiResult& result, ModulePiece& piece);

// Takes a decoded confirmation into the transfer in progress: a read or write confirmation
// makes the next request wait (or the same one again), a commit, start, reset or 0xA07D
// confirmation ends the transfer. Sets `operation`, `phase`, `status` and, for an accepted
// read piece, `transfer.last`. 0, or -1 with the last error set.
int advanceTransfer(ThapiResult& result);
// A host action indication makes its response wait; result byte 0, or 1 when it was short.
void makeHostActionResponse(const ThapiResult& indication);

}  // namespace quorrel::thpapi
