// Bounds-checked reads of parameter block bytes addressed by their offset in the image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "paramblock/field_map.h"
#include "platform/bytes.h"

namespace quorrel::paramblock {

// A window holds the image bytes from image offset `base` on: the whole image (base 0) when a
// block is validated, or a caller's copy of one region when only that region is checked. Every
// read outside the window returns 0 and marks the window faulted, so a check that reaches past
// its bytes fails rather than reading memory it was not given.
class ImageWindow {
 public:
  ImageWindow(ByteSpan bytes, std::size_t base) : bytes_(bytes), base_(base) {}

  // True when `count` bytes from image offset `at` lie inside the window.
  bool holds(std::size_t at, std::size_t count) const {
    if (at < base_) return false;
    const std::size_t rel = at - base_;
    return rel <= bytes_.size() && count <= bytes_.size() - rel;
  }
  // True when `count` entries of `entrySize` bytes from `at` lie inside the window; the count
  // comes from the image and may be as large as 2^32 - 1, so no product is formed.
  bool holdsEntries(std::size_t at, std::uint64_t count, std::size_t entrySize) const {
    if (!holds(at, 0)) return false;
    if (entrySize == 0 || count == 0) return true;
    const std::size_t room = bytes_.size() - (at - base_);
    return count <= room / entrySize;
  }

  std::uint8_t u8(std::size_t at) { return holds(at, 1) ? bytes_[at - base_] : fault(); }
  std::uint16_t le16(std::size_t at) {
    return holds(at, 2) ? readLe16(bytes_, at - base_) : fault();
  }
  std::uint32_t le32(std::size_t at) {
    return holds(at, 4) ? readLe32(bytes_, at - base_) : fault();
  }

  // A number field at its offset from `base` (0 for absolute fields, an entry's first byte
  // for entry fields); byte and text fields read as 0.
  std::uint32_t read(const Field& f, std::size_t base = 0) {
    switch (f.kind) {
      case FieldKind::Byte:
        return u8(base + f.offset);
      case FieldKind::Le16:
        return le16(base + f.offset);
      case FieldKind::Le32:
        return le32(base + f.offset);
      default:
        return 0;
    }
  }
  bool inRange(const Field& f, std::size_t base = 0) { return f.accepts(read(f, base)); }

  bool faulted() const { return faulted_; }

 private:
  std::uint8_t fault() {
    faulted_ = true;
    return 0;
  }

  ByteSpan bytes_;
  std::size_t base_;
  bool faulted_ = false;
};

}  // namespace quorrel::paramblock
