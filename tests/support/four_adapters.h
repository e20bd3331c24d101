// The network map's test network: the local adapter and three stations; A gives its link to B
// both ways, the last station is listed but answers nothing asked at its own address.
// Raw rates as Mbps: 180 238, 170 225, 120 158, 110 145, 150 198, 140 185.
#pragma once

namespace quorrel::testing {

inline constexpr char kFourAdapters[] =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 180 170\nlink 00:B0:52:20:00:03 150 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 120 110\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 2\nrate 90 80\nnetwork_info no\n";

}  // namespace quorrel::testing
