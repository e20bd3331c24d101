// The two HomePlug management ethertypes and where a frame carries its ethertype: from the
// capture filter and the helper's protocol up to every frame builder and decoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorrel::transport {

inline constexpr std::uint16_t kEtherTypeHomePlug1 = 0x887B;
inline constexpr std::uint16_t kEtherTypeHomePlugAv = 0x88E1;
inline constexpr std::size_t kEtherTypeOffset = 12;

}  // namespace quorrel::transport
