// Checks on a bitmap file before it is painted: the pages paint only whole 8-bit palettised
// bitmaps, and a file that is short or damaged counts as absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::ui {

namespace bmp {
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kDataOffsetAt = 10;   // u32
inline constexpr std::size_t kInfoSizeAt = 14;     // u32, 40 or more
inline constexpr std::size_t kWidthAt = 18;        // i32
inline constexpr std::size_t kHeightAt = 22;       // i32, negative for top-down
inline constexpr std::size_t kPlanesAt = 26;       // u16, 1
inline constexpr std::size_t kBitsAt = 28;         // u16
inline constexpr std::size_t kCompressionAt = 30;  // u32: 0 none, 1 RLE8
inline constexpr std::size_t kMinInfoSize = 40;
inline constexpr std::uint32_t kNoCompression = 0;
inline constexpr std::uint32_t kRle8 = 1;
// Larger than any picture a page shows.
inline constexpr std::int32_t kMaxSide = 4096;
inline constexpr std::size_t kMaxFileSize = 32u << 20;
}  // namespace bmp

struct BitmapInfo {
  int width = 0;
  int height = 0;
};

// The picture's size when `bytes` hold a whole 8-bit palettised bitmap; the header's own file
// size field is not trusted, every length is checked against the bytes there are.
std::optional<BitmapInfo> checkPaletteBitmap(ByteSpan bytes);

// The whole file, or nothing when it cannot be read or exceeds bmp::kMaxFileSize.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

}  // namespace quorrel::ui
