// The rename checks of the remote list's label editor.
#include "ui/presentation/rename_rules.h"

#include <cstdint>

#include "persistence/known_devices.h"

namespace quorrel::ui {

namespace {
// Length of the UTF-8 sequence starting at `at`, or 0 when it is broken.
std::size_t sequenceLength(std::string_view s, std::size_t at) {
  const auto b = static_cast<std::uint8_t>(s[at]);
  std::size_t n = 0;
  std::uint32_t cp = 0;
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) {
    n = 2;
    cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto c = static_cast<std::uint8_t>(s[at + i]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr std::uint32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinForLength[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}
}  // namespace

std::string utf8Prefix(std::string_view text, std::size_t maxCharacters, std::size_t maxBytes) {
  std::size_t at = 0;
  std::size_t characters = 0;
  while (at < text.size() && characters < maxCharacters) {
    const std::size_t n = sequenceLength(text, at);
    if (n == 0 || at + n > maxBytes) break;
    at += n;
    ++characters;
  }
  return std::string(text.substr(0, at));
}

bool isPrintableUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = sequenceLength(text, at);
    if (n == 0) return false;
    const auto b = static_cast<std::uint8_t>(text[at]);
    if (n == 1 && (b < 0x20 || b == 0x7F)) return false;
    at += n;
  }
  return true;
}

RenameCheck checkRename(std::string_view typed) {
  if (!isPrintableUtf8(typed)) return {};
  const std::string taken = utf8Prefix(typed, kMaxTypedNameLength, typed.size());
  if (taken.empty()) return {};
  std::string stored = utf8Prefix(taken, kMaxStoredNameCharacters, kMaxStoredNameBytes);
  // The stored name is what later lookups see, so a cut name may not clash either.
  if (persistence::FindKnownByName(taken) != 0 || persistence::FindKnownByName(stored) != 0)
    return {};
  return {true, std::move(stored)};
}

}  // namespace quorrel::ui
