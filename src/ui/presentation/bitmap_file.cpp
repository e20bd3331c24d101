// Bitmap file checks.
#include "ui/presentation/bitmap_file.h"

#include <fstream>
#include <iterator>

namespace quorrel::ui {

std::optional<BitmapInfo> checkPaletteBitmap(ByteSpan b) {
  using namespace bmp;
  if (b.size() < kFileHeaderSize + kMinInfoSize || b[0] != 'B' || b[1] != 'M') return {};
  const std::uint32_t infoSize = readLe32(b, kInfoSizeAt);
  const auto width = static_cast<std::int32_t>(readLe32(b, kWidthAt));
  const auto height = static_cast<std::int32_t>(readLe32(b, kHeightAt));
  const std::uint32_t compression = readLe32(b, kCompressionAt);
  if (infoSize < kMinInfoSize || infoSize > b.size()) return {};
  if (readLe16(b, kPlanesAt) != 1 || readLe16(b, kBitsAt) != 8) return {};
  if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide)
    return {};
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t palette = kFileHeaderSize + infoSize;
  const std::size_t offset = readLe32(b, kDataOffsetAt);
  if (offset < palette || offset >= b.size()) return {};
  if (compression == kNoCompression) {
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    if (b.size() - offset < stride * rows) return {};
  } else if (compression != kRle8) {
    return {};
  }
  return BitmapInfo{width, static_cast<int>(rows)};
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::vector<std::uint8_t> bytes;
  char chunk[8192];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (bytes.size() > bmp::kMaxFileSize) return {};
  }
  return bytes;
}

}  // namespace quorrel::ui
