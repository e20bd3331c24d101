// A zero-terminated text of fixed capacity, as the device records hold their texts.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace quorrel::api {

// `FieldSize` counts the terminator, so at most FieldSize - 1 characters are kept. The buffer
// always holds a terminator, whatever was assigned, so the text can never run past its field.
template <std::size_t FieldSize>
class FixedText {
  static_assert(FieldSize >= 1);

 public:
  static constexpr std::size_t kFieldSize = FieldSize;
  static constexpr std::size_t kCapacity = FieldSize - 1;

  constexpr FixedText() = default;
  constexpr FixedText(std::string_view text) { assign(text); }  // NOLINT: texts convert freely

  // Keeps the characters before the first zero byte, at most kCapacity of them; the rest of the
  // field is zero so no byte of an earlier, longer text survives.
  constexpr void assign(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && n < kCapacity && text[n] != '\0') ++n;
    for (std::size_t i = 0; i < FieldSize; ++i) chars_[i] = i < n ? text[i] : '\0';
  }
  constexpr FixedText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }
  constexpr void clear() { chars_.fill('\0'); }

  constexpr std::string_view view() const {
    std::size_t n = 0;
    while (n < kCapacity && chars_[n] != '\0') ++n;
    return std::string_view(chars_.data(), n);
  }
  std::string str() const { return std::string(view()); }
  constexpr const char* c_str() const { return chars_.data(); }
  constexpr std::size_t size() const { return view().size(); }
  constexpr bool empty() const { return chars_[0] == '\0'; }

  constexpr bool operator==(const FixedText& other) const { return view() == other.view(); }
  constexpr bool operator==(std::string_view other) const { return view() == other; }

 private:
  std::array<char, FieldSize> chars_{};
};

}  // namespace quorrel::api
