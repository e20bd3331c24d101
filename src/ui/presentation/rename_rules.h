// What a typed device name may be, and what is stored of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorrel::ui {

// The in-place editor takes at most this many characters.
inline constexpr std::size_t kMaxTypedNameLength = 79;
// What is stored: at most 31 characters, and always whole UTF-8 sequences inside the name
// field (35 bytes with its terminator).
inline constexpr std::size_t kMaxStoredNameCharacters = 31;
inline constexpr std::size_t kMaxStoredNameBytes = 34;

struct RenameCheck {
  bool accepted = false;
  std::string storedName;  // when accepted
};

// Refused: empty, control characters or broken UTF-8, or a name some known device already
// has (the renamed one included). Otherwise the name as it will be stored.
RenameCheck checkRename(std::string_view typed);

// The first `maxCharacters` characters of UTF-8 `text` that fit in `maxBytes`; stops at the
// first broken sequence.
std::string utf8Prefix(std::string_view text, std::size_t maxCharacters, std::size_t maxBytes);
// True when `text` is well-formed UTF-8 without C0 controls or DEL.
bool isPrintableUtf8(std::string_view text);

}  // namespace quorrel::ui
